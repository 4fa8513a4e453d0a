// QR codes through libqrencode, and their half-block drawing.
#include "app/QrCode.h"

#include <qrencode.h>

namespace tarnhollow {

QrCode EncodeQr(const std::string& text) {
    QrCode code;
    QRcode* encoded = QRcode_encodeData(static_cast<int>(text.size()),
                                        reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_M);
    if (!encoded) return code;
    code.size = encoded->width;
    const size_t count = static_cast<size_t>(code.size) * static_cast<size_t>(code.size);
    code.dark.resize(count);
    // Bit 0 of each byte says whether the module is dark; the others are how it came.
    for (size_t i = 0; i < count; ++i) code.dark[i] = (encoded->data[i] & 1) != 0;
    QRcode_free(encoded);
    return code;
}

std::string QrHalfBlocks(const QrCode& code, int quietZone, bool colours) {
    if (code.size == 0) return std::string();
    const int side = code.size + 2 * quietZone;
    auto light = [&](int x, int y) {
        x -= quietZone;
        y -= quietZone;
        const bool inside = x >= 0 && y >= 0 && x < code.size && y < code.size;
        return !inside || !code.Dark(x, y);
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        if (colours) out += "\x1b[97;40m";  // bright white on black
        for (int x = 0; x < side; ++x) {
            const bool upper = light(x, y);
            // Below an odd last row lies the terminal's own background.
            const bool lower = y + 1 < side && light(x, y + 1);
            out += upper && lower ? "\u2588" : upper ? "\u2580" : lower ? "\u2584" : " ";
        }
        if (colours) out += "\x1b[0m";
        out += '\n';
    }
    return out;
}

}  // namespace tarnhollow
