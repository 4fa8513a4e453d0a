// Speed of page building: a text file through BuildPage, a template whose item element
// is repeated once per record, and the listing of a large folder. Each runs at three
// sizes, so that time per byte staying flat shows the work is linear in the page.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "http/Request.h"
#include "http/ServerContext.h"
#include "pages/FolderListing.h"
#include "pages/PageBuilder.h"
#include "pages/SiteState.h"
#include "platform/File.h"
#include "platform/TextConvert.h"

namespace {

using namespace tarnhollow;

// One document root for the whole run, removed at exit.
class BenchRoot {
public:
    BenchRoot() {
        std::string path = (std::filesystem::temp_directory_path() / "tarnhollow-bench-XXXXXX").string();
        if (!mkdtemp(path.data())) std::abort();
        path_ = path;
        context_.documentRoot = AnsiToWide(path_);
    }
    ~BenchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::string& Path() const { return path_; }
    const ServerContext& Context() const { return context_; }

    void Write(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path full = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << bytes;
    }

private:
    std::string path_;
    ServerContext context_;
};

BenchRoot& Root() {
    static BenchRoot root;
    return root;
}

// A request for `relative` as the router would hand it on: mapped and opened.
struct PreparedRequest {
    CRequest request;
    ResponseSink sink;

    PreparedRequest(const std::string& relative, bool folder) {
        request.server = &Root().Context();
        request.response = &sink;
        request.urlPath = AnsiToWide("/" + relative);
        request.filePath = AnsiToWide(Root().Path() + "/" + relative);
        request.attributes = folder ? kAttributeFolder : kAttributeNormal;
        if (!folder) sink.file = OpenForReading(WideToAnsi(request.filePath));
    }
};

// Prose in lines ended by CR LF, a blank line after every fourth: both line-break rules
// have work to do.
std::string TextOfSize(size_t size) {
    std::string text;
    text.reserve(size + 100);
    for (int line = 0; text.size() < size; ++line) {
        text += "The quick brown fox jumps over the lazy dog, line " + std::to_string(line) + ".\r\n";
        if (line % 4 == 3) text += "\r\n";
    }
    text.resize(size);
    return text;
}

void BM_BuildPageText(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const std::string name = "text/page-" + std::to_string(size) + ".txt";
    Root().Write(name, TextOfSize(size));
    SiteState site;
    size_t pageBytes = 0;
    for (auto _ : state) {
        PreparedRequest prepared(name, false);
        if (!BuildPage(prepared.request, site)) state.SkipWithError("BuildPage declined");
        pageBytes = prepared.sink.buffer.Pending();
        benchmark::DoNotOptimize(prepared.sink.buffer.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["page_bytes"] = static_cast<double>(pageBytes);
}
BENCHMARK(BM_BuildPageText)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_BuildPageItems(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    const std::string name = "items/track-" + std::to_string(count) + ".htm";
    Root().Write(name,
                 "<html><body><h1>Track</h1><table>\r\n"
                 "<gpsitem><tr><td><gpstime></gpstime></td><td><longitude></longitude></td>"
                 "<td><latitude></latitude></td><td><gpshardware>receiver</gpshardware></td></tr>\r\n</gpsitem>"
                 "</table></body></html>");
    Substitutions substitutions;
    substitutions.itemMarker = "<gpsitem>";
    substitutions.valueMarkers = {"<gpstime>", "<longitude>", "<latitude>", "<gpshardware>"};
    for (size_t i = 0; i < count; ++i) {
        substitutions.records.push_back(
            {L"12:" + std::to_wstring(i % 60) + L":07 UTC", L"24.94" + std::to_wstring(i), L"60.17" + std::to_wstring(i)});
    }
    SiteState site;
    size_t pageBytes = 0;
    for (auto _ : state) {
        PreparedRequest prepared(name, false);
        if (!BuildPage(prepared.request, site, substitutions)) state.SkipWithError("BuildPage declined");
        pageBytes = prepared.sink.buffer.Pending();
        benchmark::DoNotOptimize(prepared.sink.buffer.Data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pageBytes));
}
BENCHMARK(BM_BuildPageItems)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ListFolder(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    const std::string folder = "listing-" + std::to_string(count);
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/entry-%05zu.dat", i);
        Root().Write(folder + name, "");
    }
    size_t pageBytes = 0;
    for (auto _ : state) {
        PreparedRequest prepared(folder, true);
        ListFolder(prepared.request);
        pageBytes = prepared.sink.buffer.Pending();
        benchmark::DoNotOptimize(prepared.sink.buffer.Data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pageBytes));
}
BENCHMARK(BM_ListFolder)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
