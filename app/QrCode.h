// The status line's address as a QR code, so that a phone's camera opens it at once: the
// code's modules, and their drawing in a terminal with Unicode half blocks.
#pragma once

#include <string>
#include <vector>

namespace tarnhollow {

// A square of modules, row by row; empty when the text could not be encoded.
struct QrCode {
    int size = 0;
    std::vector<bool> dark;
    bool Dark(int x, int y) const { return dark[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)]; }
};

// The text (UTF-8 bytes) as an 8-bit QR code of the smallest version that holds it, with
// medium error correction.
QrCode EncodeQr(const std::string& text);

// The code in lines of half blocks, two module rows to a line, with a quiet zone of
// `quietZone` modules around it. Light modules are drawn and dark ones left blank, which
// reads right on a terminal with light text on a dark background; `colours` adds the
// escape sequences that make it so on any terminal.
std::string QrHalfBlocks(const QrCode& code, int quietZone, bool colours);

}  // namespace tarnhollow
