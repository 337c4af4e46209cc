#pragma once

namespace zelmo::onebot {

// The retcodes of action responses. 1xxxx are the standard's own; the implementation's own
// sit in the groups the standard sets aside (32xxx files, 33xxx network, 34xxx the chat
// platform, 35xxx the robot's logic, 36xxx refusal to work).
enum Retcode : int {
    OK = 0,
    BAD_REQUEST = 10001,  // not JSON, not an object, no action name, over the size
    UNSUPPORTED_ACTION = 10002,
    BAD_PARAM = 10003,          // a parameter missing or of the wrong type or value
    UNSUPPORTED_PARAM = 10004,  // a parameter value whose meaning is not implemented
    UNSUPPORTED_SEGMENT = 10005,
    BAD_SEGMENT_DATA = 10006,
    UNKNOWN_SELF = 10102,
    INTERNAL_HANDLER_ERROR = 20002,

    FILE_NOT_READABLE = 32001,     // upload_file by path: no such file, or not readable
    PATH_NOT_ALLOWED = 32002,      // upload_file by path outside the configured folder
    FILE_NOT_STORED = 32003,       // the robot could not keep the file
    FILE_DIGEST_MISMATCH = 32004,  // the sha256 given does not match the bytes
    FILE_NOT_SENDABLE = 32005,     // a file to send is empty, unreadable or above what the
                                   // service takes of its kind

    DOWNLOAD_FAILED = 33001,        // upload_file by url: no answer, a bad status, too large
    RECEIVED_FILE_MISSING = 33002,  // a received file's download failed, or did not end in
                                    // time: not there (yet)

    NOT_SENT = 34001,        // the service refused the text (Ret other than 0) or gave no
                             // answer; the sender does not send it again, as it may
                             // have arrived
    OFFLINE = 34002,         // the session ended (Ret 1100/1101) or the robot is logged
                             // out and did not come back in time: nothing sent
    TOO_FREQUENT = 34003,    // Ret 1205 on every try of the sender's back-off: not sent
    RECALL_REFUSED = 34004,  // the service refused the recall, or its time limit passed
    REMARK_REFUSED = 34005,  // the service refused the remark change

    UNKNOWN_MESSAGE = 35001,  // no message with that id among the recent ones
    NOT_RECALLABLE = 35002,   // not a text this robot sent, or its service ids unknown
    UNKNOWN_CONTACT = 35003,  // no friend, group or member with that id
    OUTBOX_FULL = 35004,      // too many texts already wait for the sender
    CHAT_LIMIT = 35005,       // the chat had as many texts in the last minute as the
                              // robot's per-chat limit (每分钟回复上限) allows
    EXPIRED = 35006,          // waited longer than 回复过期秒数: not sent
    UNKNOWN_FILE = 35007,     // no file with that file_id
    FILE_NOT_KEPT = 35008,    // a received file of a kind 媒体下载 does not keep, or one the
                              // service offers no download for

    BUSY = 36001,  // too many actions wait to run
};

}  // namespace zelmo::onebot
