#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace sim {

class Simulator;
struct Fault;

// The simulator's control API over plain HTTP on 127.0.0.1 (for zelmo-sim and scripts).
class ControlApi {
public:
    explicit ControlApi(Simulator& simulator);
    ~ControlApi();
    ControlApi(const ControlApi&) = delete;
    ControlApi& operator=(const ControlApi&) = delete;

    bool Start(int port);  // 0: ephemeral
    int Port() const;
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Reads {"kind": "http500", "delay_ms": 0, "sticky": false, "huge_bytes": N}; false when
// the kind is unknown.
bool FaultFromJsonText(std::string_view json_text, Fault& fault);

}  // namespace sim
