// Install root handling and release comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Installer.h"

namespace {

std::string Strip(const char *path) {
    char buf[512];
    snprintf(buf, sizeof buf, "%s", path);
    return StripToBaseName(buf);
}

TEST(StripToBaseName, CutsAtTheProductComponents) {
    EXPECT_EQ(Strip("/opt/Talvo/dorv/"), "/opt");
    EXPECT_EQ(Strip("/opt/Talvo/dorv"), "/opt");
    EXPECT_EQ(Strip("/opt/Talvo"), "/opt");
    EXPECT_EQ(Strip("/export/home/"), "/export/home");
    EXPECT_EQ(Strip("/"), "/");
    EXPECT_EQ(StripToBaseName(nullptr), nullptr);
}

TEST(StripToBaseName, LeavesWordsInsideComponents) {
    EXPECT_EQ(Strip("/export/dorvdata"), "/export/dorvdata");
    EXPECT_EQ(Strip("/export/myTalvo/x"), "/export/myTalvo/x");
    EXPECT_EQ(Strip("/export/dorvdata/Talvo/dorv"), "/export/dorvdata");
}

TEST(CompareRelease, ComparesFieldByFieldAsNumbers) {
    EXPECT_GT(CompareRelease("5.10", "5.6"), 0);
    EXPECT_LT(CompareRelease("5.5.1", "5.6"), 0);
    EXPECT_EQ(CompareRelease("5.6", "5.6.0"), 0);
    EXPECT_EQ(CompareRelease("5.6", "5.6"), 0);
    EXPECT_GT(CompareRelease("5.7", "5.6"), 0);
    EXPECT_GT(CompareRelease("6.1.0-18-amd64", "5.6"), 0);
    EXPECT_LT(CompareRelease("5.10", "5.10a"), 0);
    EXPECT_LT(CompareRelease("", "5.6"), 0);
}

TEST(ValidInstallRoot, AcceptsOnlySafeShortNames) {
    EXPECT_TRUE(ValidInstallRoot("/opt"));
    EXPECT_TRUE(ValidInstallRoot("/export/a-b_c.d+e,f:g@h=i"));
    EXPECT_FALSE(ValidInstallRoot("/opt/my dir"));
    EXPECT_FALSE(ValidInstallRoot("/opt/$(reboot)"));
    EXPECT_FALSE(ValidInstallRoot("/opt/'x'"));
    EXPECT_FALSE(ValidInstallRoot(""));
    EXPECT_FALSE(ValidInstallRoot(nullptr));
    std::string longRoot = "/" + std::string(300, 'a');
    EXPECT_FALSE(ValidInstallRoot(longRoot.c_str()));
}

}  // namespace
