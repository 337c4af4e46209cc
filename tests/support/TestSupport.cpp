#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zelmo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelmo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TempDir::~TempDir() {
    std::error_code error;
    if (!m_path.empty()) {
        std::filesystem::remove_all(m_path, error);
    }
}

}  // namespace zelmo::test
