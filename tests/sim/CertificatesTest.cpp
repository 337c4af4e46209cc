#include <gtest/gtest.h>

#include <filesystem>

#include "sim/Certificates.h"
#include "support/TestSupport.h"

TEST(Certificates, WritesCaAndServerFiles) {
    zelmo::test::TempDir dir;
    const sim::CertificateFiles files = sim::MakeCertificates(dir.Path(), {"wx.qq.com"});
    ASSERT_FALSE(files.ca_cert.empty());
    EXPECT_GT(std::filesystem::file_size(files.ca_cert), 100u);
    EXPECT_GT(std::filesystem::file_size(files.server_cert), 100u);
    EXPECT_GT(std::filesystem::file_size(files.server_key), 100u);
}
