// Reading the desktop's resolution from the X resource database.
#include "window/x11/xft_dpi.h"

#include <gtest/gtest.h>

TEST(XftDpi, ReadsTheResourceAmongOthers) {
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t192\n"), 192.0);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.antialias:\t1\nXft.dpi:  120\nXft.hinting:\t1\n"), 120.0);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t96"), 96.0); // no final newline
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t144.5\n"), 144.5);
}

TEST(XftDpi, MissingOrInsaneValuesAreIgnored) {
    EXPECT_EQ(runtime::parse_xft_dpi(""), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xcursor.size:\t24\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\tlots\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t0\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t-96\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\t100000\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Xft.dpi:\tnan\n"), std::nullopt);
    EXPECT_EQ(runtime::parse_xft_dpi("Foo.Xft.dpi:\t192\n"), std::nullopt);
}
