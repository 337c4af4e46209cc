/*
 * zelmo_plugin.h: the C interface between the Zelmo robot and a plugin library.
 *
 * A plugin is a shared library named "<anything>.mzp.so" in the account's "plugin" folder.
 * The robot loads it with dlopen and looks up these exported C functions:
 *
 *   1. "info", which describes the plugin's entries (zelmo_info_function);
 *   2. for each entry, the message handler named on line 8 of its description
 *      (zelmo_message_handler);
 *   3. optionally "zelmo_plugin_init", which receives the robot's host calls (sending
 *      pictures and files, contact keys, a received message's file; zelmo_init_function).
 *
 * Calling convention: the platform's C convention (x86-64 System V), so every export must
 * be a plain C function, declared `extern "C"` when the library is written in C++.
 *
 * Texts: every text crossing this interface is GBK (code page 936), NUL-terminated.
 * Compiling a UTF-8 source with `-fexec-charset=GBK` turns its string literals into GBK.
 */
#ifndef ZELMO_PLUGIN_H
#define ZELMO_PLUGIN_H

/* The version of this interface. 1: "info" and the message handlers. 2: the host calls. */
#define ZELMO_PLUGIN_SDK_VERSION 2

#ifdef __cplusplus
#define ZELMO_PLUGIN_EXTERN_C extern "C"
#else
#define ZELMO_PLUGIN_EXTERN_C
#endif

/* Marks a function as an export the robot can find, whatever the visibility default. */
#define ZELMO_PLUGIN_EXPORT ZELMO_PLUGIN_EXTERN_C __attribute__((visibility("default")))

/*
 * The description: "info" takes no arguments and returns one text made of entries separated
 * by the line "-----", i.e. by ZELMO_PLUGIN_ENTRY_SEPARATOR. Each entry has exactly ten lines
 * separated by "\r\n":
 *
 *    1  name          shown in the list; also the entry's key in the enable file (required)
 *    2  version       (required)
 *    3  author        (required)
 *    4  introduction  shown in the details and the function list (required)
 *    5  prefix        trigger word; empty: the entry sees every message
 *    6  parameter     what follows the prefix, e.g. "城市"; may be empty
 *    7  suffix        closing marker of the parameter; may be empty
 *    8  function      name of the exported message handler (required)
 *    9  listed        "1": listed in the robot's function list, "2": not listed
 *   10  account       "真": the entry asks for the account's cookie text; anything else: not
 *
 * An entry breaking these rules is skipped; the others still load. The robot copies the
 * text at once and never frees it: return a string literal or static storage. A null result
 * means "no entries".
 *
 * Which part of a message an enabled entry receives (blanks trimmed only for the emptiness
 * tests; letter case ignored for ASCII letters where noted):
 *   - empty prefix: every message, whole;
 *   - prefix only: messages containing the prefix (case ignored), whole;
 *   - prefix and parameter, no suffix: messages containing the prefix (case ignored), the
 *     text after its first occurrence, possibly empty;
 *   - prefix and suffix: the text between the first prefix and the next suffix after it
 *     (case kept); messages where that text is empty or a marker is missing are not offered.
 */
#define ZELMO_PLUGIN_ENTRY_SEPARATOR "\r\n-----\r\n"
#define ZELMO_PLUGIN_INFO_EXPORT "info"

typedef const char* (*zelmo_info_function)(void);

/*
 * The message handler, called for a message an enabled entry's trigger selected:
 *
 *   message  the selected part of the message (may be an empty text)
 *   kind     "1" for a private chat with a friend, "2" for a group chat
 *   from     the chat's user name: the friend's, or the group's
 *   sender   the group member who wrote the message; NULL in private chats and for group
 *            messages without a sender
 *   account  the account's cookie text when the entry declared "真" on line 10 and the user
 *            allowed it; otherwise an empty text
 *
 * Treat any NULL argument as an empty text. The arguments are the robot's own buffers:
 * read them, never write or free them, and do not keep the pointers after returning.
 *
 * Return: NULL or an empty text for "no answer" (the robot offers the message to the next
 * entry); any other text becomes the robot's reply, and no later entry sees the message.
 * "[noreply]" tells the robot to send nothing at all for this message, not even its
 * keyword reply. The robot copies the returned text as soon as the handler returns and
 * never frees it: return a string literal, static storage, or a buffer that stays valid
 * until the same thread calls the plugin again (a thread-local buffer works; a single
 * static buffer does not, see below).
 *
 * Threads: the robot answers messages on up to twenty threads at once and holds no lock
 * around plugin calls, so a handler may run on several threads at the same time. Guard any
 * shared state yourself. Never block for long: a handler that hangs holds one of the
 * robot's message threads for as long as it hangs.
 *
 * Faults: the robot runs plugins inside its own process. A crash in a plugin ends the
 * robot; a C++ exception leaving a handler is caught and counts as no answer, but do not
 * rely on it.
 */
typedef const char* (*zelmo_message_handler)(const char* message, const char* kind,
                                             const char* from, const char* sender,
                                             const char* account);

/*
 * Host calls (version 2). A plugin that exports "zelmo_plugin_init" is called once its library
 * is loaded (at the start and at every rescan that finds it), before any of its handlers, with
 * the robot's table of host calls. Keep the pointer: the table stays valid while the robot
 * runs. Return 0. Plugins without the export work as before and never see the table.
 *
 * Every call takes the table as its first argument. Check `size` before using a call a later
 * version added: a call whose member lies at or beyond `size` bytes is absent.
 *
 * Paths are file-system paths (the bytes open() takes, normally UTF-8), not GBK texts.
 * Texts copied into a buffer end with a NUL; a call returns the length the text has (without
 * the NUL) and copies it only when `size` is larger (the buffer holds an empty text
 * otherwise), so a result >= size asks for a larger buffer. Every call may be made from any
 * thread, at any time after init.
 */
typedef struct zelmo_host zelmo_host;
struct zelmo_host {
    unsigned int version; /* the robot's ZELMO_PLUGIN_SDK_VERSION */
    unsigned int size;    /* sizeof(zelmo_host) as the robot was built */

    /* Queues the picture at `path` for the chat `to` (a user name, such as a handler's
     * `from`): jpg, jpeg, png or bmp as a picture, gif as a sticker, at most 20 MB. The robot
     * sends it in turn with its other sends, paced. 0 when queued; -1 when `to` is empty or
     * the file is missing, unreadable, empty or too large (the message log says why). */
    int (*send_picture)(const zelmo_host* host, const char* to, const char* path);
    /* The same for any file up to 100 MB, sent as an attachment whatever its type. */
    int (*send_file)(const zelmo_host* host, const char* to, const char* path);

    /* The stable key of a contact's user name: the same for that friend, group or group
     * member across logins and runs ("c" and ten letters or digits), where the user name
     * changes at every login. 0 when it has none (yet). */
    int (*contact_key)(const zelmo_host* host, const char* user_name, char* buffer, int size);
    /* The user name the contact with `key` has in the current login; 0 when none. */
    int (*user_name_of)(const zelmo_host* host, const char* key, char* buffer, int size);

    /* Only inside a message handler, on its thread: the path of the file the message being
     * handled carries (a picture, voice, video or file, as the setting 媒体下载 keeps them).
     * Waits until the robot has saved it, at most 30 seconds. 0 when the message carries
     * none, the setting keeps none of its kind, the download failed, or outside a handler. */
    int (*message_media)(const zelmo_host* host, char* buffer, int size);
};

#define ZELMO_PLUGIN_INIT_EXPORT "zelmo_plugin_init"
typedef int (*zelmo_init_function)(const zelmo_host* host);

#endif /* ZELMO_PLUGIN_H */
