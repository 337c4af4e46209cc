#pragma once

#include <optional>
#include <string_view>

#include "messages/Sending.h"

namespace zelmo::messages {

// The file a text names when it is exactly "[图片=NAME]", "[视频=NAME]" or "[文件=NAME]" with
// NAME a plain file name: NAME in the account's replies folder (there or not: a missing one
// is the sender's log row), going out as its kind and type say. Nothing for any other text,
// which is sent as the text it is.
std::optional<OutgoingFile> ReplyFileOf(std::string_view account_dir, std::string_view text);

// A text for `to` as the sender takes it: a file when the text names one (ReplyFileOf),
// else the text. Never blocks. Any thread.
void PostTextOrFile(Sender& sender, std::string_view account_dir, std::string_view to,
                    std::string_view text, SendKind kind, SendTag tag = {});

// The same, blocking until it was sent or given up (Sender::Send).
SendReceipt SendTextOrFile(Sender& sender, std::string_view account_dir, std::string_view to,
                           std::string_view text, SendTag tag, BackoffNotice notice = {});

}  // namespace zelmo::messages
