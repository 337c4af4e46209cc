#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "jobs/ThreadStarter.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::contacts {

// webwxoplog: sets the own account's remark (GBK) for a contact; the remark is
// JSON-escaped, so any text arrives as typed. The answer's "Ret" text, empty on failure.
// Blocks up to the default time-out: not on the UI thread.
std::string SetRemarkName(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                          std::string_view user_name, std::string_view remark);

// The remark window's commit. False, and nothing sent, when the remark is unchanged;
// otherwise sends it on a thread of `start_thread`, which then runs `sent` whatever the
// answer. False too when no thread starts (nothing sent then either).
bool CommitRemark(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                  const jobs::ThreadStarter& start_thread, std::string user_name,
                  std::string_view old_remark, std::string new_remark, std::function<void()> sent);

}  // namespace zelmo::contacts
