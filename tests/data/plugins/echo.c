/* Test plugin: answers with the five arguments it received and counts its calls, so tests
 * can see what the robot passed and whether an export was called at all. */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

#include "zelmo_plugin.h"

static atomic_int answer_calls;
static atomic_int silent_calls;
static atomic_int blank_calls;

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "回声\r\n1.0\r\ntests\r\nanswers with its arguments\r\necho\r\n\r\n\r\n"
           "echo_answer\r\n1\r\n";
}

/* "message|kind|from|sender|account", the sender "(null)" when the robot passed NULL. */
ZELMO_PLUGIN_EXPORT const char* echo_answer(const char* message, const char* kind, const char* from,
                                            const char* sender, const char* account) {
    static _Thread_local char answer[4096];
    atomic_fetch_add(&answer_calls, 1);
    snprintf(answer, sizeof answer, "%s|%s|%s|%s|%s", message ? message : "(null)",
             kind ? kind : "(null)", from ? from : "(null)", sender ? sender : "(null)",
             account ? account : "(null)");
    return answer;
}

ZELMO_PLUGIN_EXPORT const char* echo_silent(const char* message, const char* kind, const char* from,
                                            const char* sender, const char* account) {
    (void)message, (void)kind, (void)from, (void)sender, (void)account;
    atomic_fetch_add(&silent_calls, 1);
    return NULL;
}

ZELMO_PLUGIN_EXPORT const char* echo_blank(const char* message, const char* kind, const char* from,
                                           const char* sender, const char* account) {
    (void)message, (void)kind, (void)from, (void)sender, (void)account;
    atomic_fetch_add(&blank_calls, 1);
    return "";
}

/* The number of calls of one of the exports above; -1 for another name. */
ZELMO_PLUGIN_EXPORT int echo_calls(const char* function) {
    if (strcmp(function, "echo_answer") == 0) {
        return atomic_load(&answer_calls);
    }
    if (strcmp(function, "echo_silent") == 0) {
        return atomic_load(&silent_calls);
    }
    if (strcmp(function, "echo_blank") == 0) {
        return atomic_load(&blank_calls);
    }
    return -1;
}
