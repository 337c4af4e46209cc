#pragma once

namespace zelmo::protocol {

// How a login cycle presents itself to the service. Desktop: the jslogin target asks for
// the desktop client's login page and the login redirect carries its two header lines;
// most accounts are refused the web mode today. Web: the web client's requests alone.
enum class LoginMode { Desktop, Web };

}  // namespace zelmo::protocol
