// The X11 platform's parts that need no server: the desktop's resolution from
// the resource database, pixels for screens of other depths.
#include "window/x11/pixel_format.h"
#include "window/x11/xft_dpi.h"

#include <gtest/gtest.h>

#include <cstdint>

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

// The kept picture converted for screens of other depths: channels scaled so
// that full stays full, in the server's byte order, only inside the band.
TEST(PixelFormat, SixteenAndThirtyBitScreensInEitherByteOrder) {
    std::vector<std::uint32_t> pixels = {0xF0F0F0, 0x00FF00, 0x800080, 0x000000};
    const runtime::Picture picture{pixels.data(), 4, 1, 16};

    runtime::PixelFormat rgb565;
    rgb565.depth = 16;
    rgb565.bits_per_pixel = 16;
    rgb565.red_mask = 0xF800;
    rgb565.green_mask = 0x07E0;
    rgb565.blue_mask = 0x001F;
    EXPECT_FALSE(rgb565.is_picture_layout());
    std::vector<std::uint8_t> out(8, 0xAA);
    runtime::convert_rect(picture, {1, 0, 2, 1}, out.data(), 8, rgb565);
    EXPECT_EQ((std::vector<std::uint8_t>{0xAA, 0xAA, 0xE0, 0x07, 0x10, 0x80, 0xAA, 0xAA}), out);
    rgb565.msb_first = true;
    runtime::convert_rect(picture, {0, 0, 1, 1}, out.data(), 8, rgb565);
    EXPECT_EQ(out[0], 0xF7); // 0xF79E: 30, 60, 30 of 31, 63, 31
    EXPECT_EQ(out[1], 0x9E);

    runtime::PixelFormat rgb30;
    rgb30.depth = 30;
    rgb30.red_mask = 0x3FF00000;
    rgb30.green_mask = 0x000FFC00;
    rgb30.blue_mask = 0x000003FF;
    EXPECT_EQ(rgb30.pixel(0x00FF00), 0x000FFC00u);
    EXPECT_EQ(rgb30.pixel(0xF0F0F0), (0x3C3u << 20) | (0x3C3u << 10) | 0x3C3u);
    EXPECT_EQ(rgb30.stride(3), 12);
    EXPECT_EQ(rgb565.stride(3), 8); // rows padded to 32 bits
}
