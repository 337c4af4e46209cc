#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "headless/TerminalQr.h"

namespace zelmo::headless {

// The desktop program's options plus where the QR image goes and how it is drawn.
struct HeadlessCommandLine {
    app::CommandLine common;  // options, help, error
    std::string qr_file;      // the data root's QR_FILE_NAME unless --qr-file names one
    QrScheme qr_scheme = QrScheme::LightOnDark;
};

inline constexpr std::string_view QR_FILE_NAME = "qrcode.png";
// Chooses the QR drawing when --qr-scheme is not given.
inline constexpr const char* QR_SCHEME_VARIABLE = "ZELMO_QR_SCHEME";

// Reads the arguments after the program name; `qr_scheme_env` is the value of
// QR_SCHEME_VARIABLE (empty when unset). A --qr-file naming a folder means QR_FILE_NAME
// inside it (`is_folder` tells which paths are folders).
HeadlessCommandLine ParseHeadlessCommandLine(const std::vector<std::string_view>& args,
                                             std::string_view xdg_data_home, std::string_view home,
                                             std::string_view qr_scheme_env,
                                             bool (*is_folder)(const std::string&));

std::string HeadlessUsageText();

}  // namespace zelmo::headless
