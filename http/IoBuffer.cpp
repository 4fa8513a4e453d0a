// Growth and consumption of the connection's I/O buffer.
#include "http/IoBuffer.h"

#include <cstring>

#include "http/Limits.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

IoBuffer::IoBuffer() { Reset(limits::kIoBufferSize); }

void IoBuffer::Reset(size_t logicalSize) {
    if (size_ != logicalSize) {
        // Not value-initialised: clearing 16 KiB for every connection costs more than
        // the rest of a small request.
        bytes_.reset(new char[logicalSize]);
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
        std::unique_ptr<char[]> grown(new char[size]);
        if (pending_) std::memcpy(grown.get(), Data(), pending_);
        bytes_ = std::move(grown);
        size_ = size;
        start_ = 0;
    }
    if (n) std::memcpy(Data() + pending_, bytes.data(), n);
    pending_ += n;
}

void IoBuffer::AppendText(std::wstring_view text) { AppendBytes(WideToAnsi(text)); }

void IoBuffer::Consume(size_t count) {
    if (count > pending_) count = pending_;
    start_ += count;
    pending_ -= count;
}

}  // namespace tarnhollow
