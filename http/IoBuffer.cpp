// Growth and consumption of the connection's I/O buffer.
#include "http/IoBuffer.h"

#include <cstring>
#include <utility>
#include <vector>

#include "http/Limits.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// A few blocks are enough: connections end about as fast as new ones begin, and a
// larger stock would only hold memory while downloads are held.
constexpr size_t kSpareBlocks = 8;

std::vector<std::unique_ptr<char[]>>& SpareBlocks() {
    thread_local std::vector<std::unique_ptr<char[]>> spares;
    return spares;
}

}  // namespace

std::unique_ptr<char[]> IoBuffer::Take(size_t size) {
    auto& spares = SpareBlocks();
    if (size == limits::kIoBufferSize && !spares.empty()) {
        std::unique_ptr<char[]> bytes = std::move(spares.back());
        spares.pop_back();
        return bytes;
    }
    // Not value-initialised: clearing 16 KiB for every connection costs more than the
    // rest of a small request.
    return std::unique_ptr<char[]>(new char[size]);
}

void IoBuffer::GiveBack(std::unique_ptr<char[]> bytes, size_t size) {
    auto& spares = SpareBlocks();
    if (bytes && size == limits::kIoBufferSize && spares.size() < kSpareBlocks) spares.push_back(std::move(bytes));
}

IoBuffer::IoBuffer() { Reset(limits::kIoBufferSize); }

IoBuffer::~IoBuffer() { GiveBack(std::move(bytes_), size_); }

void IoBuffer::Reset(size_t logicalSize) {
    if (size_ != logicalSize) {
        GiveBack(std::move(bytes_), size_);
        bytes_ = Take(logicalSize);
        size_ = logicalSize;
    }
    start_ = 0;
    pending_ = 0;
}

void IoBuffer::AppendBytes(std::string_view bytes) {
    const size_t n = bytes.size();
    if (LogicalSize() < pending_ + n) {
        const size_t step = limits::kIoBufferSize;
        const size_t size = pending_ + (n / step) * step + step;
        std::unique_ptr<char[]> grown = Take(size);
        if (pending_) std::memcpy(grown.get(), Data(), pending_);
        GiveBack(std::exchange(bytes_, std::move(grown)), size_);
        size_ = size;
        start_ = 0;
    }
    if (n) std::memcpy(Data() + pending_, bytes.data(), n);
    pending_ += n;
}

void IoBuffer::AppendText(std::wstring_view text) {
    // Header lines are plain ASCII: they go in a character at a time without the
    // temporary string a conversion would allocate for every line of every answer.
    char ascii[256];
    if (text.size() <= sizeof ascii) {
        size_t n = 0;
        for (const wchar_t c : text) {
            if (c <= 0 || c >= 0x80) break;
            ascii[n++] = static_cast<char>(c);
        }
        if (n == text.size()) {
            AppendBytes(std::string_view(ascii, n));
            return;
        }
    }
    AppendBytes(WideToAnsi(text));
}

void IoBuffer::Consume(size_t count) {
    if (count > pending_) count = pending_;
    start_ += count;
    pending_ -= count;
}

}  // namespace tarnhollow
