#pragma once

#include <memory>
#include <string>
#include <string_view>

struct zelmo_host;

namespace zelmo::plugins {

// What plugins may ask of the robot through their host calls; the composition root provides
// it. Every method may be called from any thread.
class HostServices {
public:
    virtual ~HostServices() = default;
    // Queues the file at `path` (file-system bytes) for `to`, as a picture or as a file;
    // empty when queued, otherwise why not (GBK, logged by the caller's robot too).
    virtual std::string SendFile(std::string_view to, std::string_view path, bool picture) = 0;
    // The stable key of a UserName; empty when it has none.
    virtual std::string KeyOf(std::string_view user_name) = 0;
    // The current UserName of a key's contact; empty when none.
    virtual std::string UserNameOf(std::string_view key) = 0;
    // The saved file of a received message (its AddMsgList item), waiting for its download;
    // empty when there is none.
    virtual std::string MediaOf(std::string_view item) = 0;
};

// The table of host calls given to every plugin that exports the init function. Lives as
// long as the robot that owns it.
class HostCalls {
public:
    explicit HostCalls(HostServices& services);
    ~HostCalls();
    HostCalls(const HostCalls&) = delete;
    HostCalls& operator=(const HostCalls&) = delete;

    const zelmo_host* Table() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The message a plugin handler is called for, on this thread, while the object lives (the
// host call that asks for the message's file reads it).
class CurrentMessage {
public:
    explicit CurrentMessage(std::string_view item);
    ~CurrentMessage();
    CurrentMessage(const CurrentMessage&) = delete;
    CurrentMessage& operator=(const CurrentMessage&) = delete;

    // The AddMsgList item of the message being handled on this thread; empty outside.
    static std::string_view Item();

private:
    std::string_view m_previous;
};

// Calls a library's init export (its address; null for a library without one) with the
// table. A C++ exception leaving it is caught.
void CallPluginInit(void* init_symbol, const zelmo_host* table);

}  // namespace zelmo::plugins
