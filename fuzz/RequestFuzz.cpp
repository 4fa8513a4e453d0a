// Arbitrary bytes from the network through the connection logic: split into segments as
// the first input byte says, answered against a small document root. Nothing may crash,
// leak or read out of bounds, and every exchange must end.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "http/ConnectionSocket.h"
#include "platform/TextConvert.h"

namespace {

using namespace tarnhollow;

class ScriptedTransport : public Transport {
public:
    ScriptedTransport(const uint8_t* data, size_t size, size_t segment) : data_(data), size_(size), segment_(segment) {}
    void Attach(TransportEvents* events) override { events_ = events; }
    long Receive(char* buffer, size_t size) override {
        size_t n = std::min({size, segment_, size_ - offset_});
        std::copy(data_ + offset_, data_ + offset_ + n, buffer);
        offset_ += n;
        return static_cast<long>(n);
    }
    long Send(const char*, size_t size) override { return static_cast<long>(size > 5000 ? 5000 : size); }
    void WantRead() override { wantsRead = true; }
    void WantWrite() override { wantsWrite = true; }
    void ShutDown() override {}
    std::wstring PeerAddress() const override { return L"127.0.0.1"; }
    bool Exhausted() const { return offset_ >= size_; }

    bool wantsRead = false;
    bool wantsWrite = false;
    TransportEvents* events_ = nullptr;

private:
    const uint8_t* data_;
    size_t size_;
    size_t segment_;
    size_t offset_ = 0;
};

const std::string& DocumentRoot() {
    static const std::string root = [] {
        std::string path = std::filesystem::temp_directory_path() / "tarnhollow-fuzz-root";
        std::filesystem::create_directories(path + "/folder/sub");
        std::ofstream(path + "/a.txt") << "one\r\n\r\ntwo";
        std::ofstream(path + "/b.bin") << std::string(40000, 'b');
        std::ofstream(path + "/folder/index.htm") << "<html><body>x</body></html>";
        std::filesystem::create_directories(path + "/.hidden");
        return path;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static ServerContext context = [] {
        ServerContext c;
        c.documentRoot = AnsiToWide(DocumentRoot());
        return c;
    }();
    const size_t segment = 1 + data[0] % 64;
    bool deleted = false;
    auto transport = std::make_unique<ScriptedTransport>(data + 1, size - 1, segment);
    ScriptedTransport* script = transport.get();
    auto* connection = new CConnectionSocket(&context, std::move(transport), [&](CConnectionSocket* c) {
        deleted = true;
        delete c;
    });
    connection->Start();
    for (int steps = 0; !deleted && steps < 100000; ++steps) {
        if (script->wantsWrite) {
            script->wantsWrite = false;
            script->events_->OnSend();
        } else if (!script->Exhausted()) {
            script->events_->OnReceive();
        } else {
            script->events_->OnClose();
        }
    }
    if (!deleted) std::abort();  // an exchange that never ends
    return 0;
}
