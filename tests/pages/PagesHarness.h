// In-memory exchanges with the pages layer over a temporary document root, with no
// socket: a GET answered by the real dispatch and a Router, a request prepared as the
// file layer leaves it for the services, a service under test with its display queue,
// and the file template's frame, to cut a built page's body out of it.
#pragma once

#include <gtest/gtest.h>

#include <asio.hpp>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include "http/Dispatch.h"
#include "http/FileAnswer.h"
#include "http/PendingAnswer.h"
#include "http/Request.h"
#include "http/ServerContext.h"
#include "http/UrlMapping.h"
#include "pages/PageBuilder.h"
#include "pages/Router.h"
#include "pages/SiteState.h"
#include "platform/BackgroundQueue.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {

// One request with its own response sink, bound to a server context.
struct Exchange {
    CRequest request;
    ResponseSink sink;

    explicit Exchange(const ServerContext& context) {
        request.server = &context;
        request.response = &sink;
    }

    // "GET target HTTP/1.0", parsed as the connection parses it.
    Exchange(const ServerContext& context, const std::string& target) : Exchange(context) {
        ReadState state = ReadState::RequestLine;
        ParseLine(request, state, AnsiToWide("GET " + target + " HTTP/1.0"));
    }

    // Everything the connection would send: the buffer, then what is left of an open file.
    std::string Sent() {
        std::string out(sink.buffer.PendingBytes());
        if (sink.file.IsOpen()) {
            char chunk[65536];
            long n;
            while ((n = ReadSomeAt(sink.file.Get(), chunk, sizeof chunk, sink.fileOffset)) > 0) {
                out.append(chunk, static_cast<size_t>(n));
                sink.fileOffset += n;
            }
        }
        return out;
    }
};

class PagesHarness {
public:
    PagesHarness() {
        context_.documentRoot = AnsiToWide(root_.Path());
        context_.router = &router_;
    }

    const TempDir& Root() const { return root_; }
    SiteState& Site() { return site_; }
    Router& PageRouter() { return router_; }
    const ServerContext& Context() const { return context_; }

    // The whole response to "GET target HTTP/1.0".
    std::string Get(const std::string& target) {
        Exchange exchange(context_, target);
        Dispatch(exchange.request);
        return exchange.Sent();
    }

    // Maps and opens the target's file as a GET would, then builds it with `substitutions`.
    std::string Build(const std::string& target, const Substitutions& substitutions, bool* handled = nullptr) {
        Exchange exchange(context_, target);
        MapUrl(exchange.request);
        EXPECT_EQ(exchange.request.status, 0u) << target;
        EXPECT_TRUE(PrepareFile(exchange.request)) << target;
        const bool built = BuildPage(exchange.request, site_, substitutions);
        if (handled) *handled = built;
        return std::string(exchange.sink.buffer.PendingBytes());
    }

private:
    TempDir root_;
    SiteState site_;
    Router router_{site_};
    ServerContext context_;
};

// The text of the file template before its body element, and after it up to the first
// item element: what a built page must show around its body.
inline std::string FileTemplate() { return std::string(FindResource("CONTENT", ".file.demo").value()); }

inline std::string FramePrefix() {
    const std::string page = FileTemplate();
    return page.substr(0, page.find("<tarnhollowbody>"));
}

inline std::string FrameSuffix() {
    const std::string page = FileTemplate();
    const size_t from = page.find("</tarnhollowbody>") + std::string("</tarnhollowbody>").size();
    return page.substr(from, page.find("<diritem>") - from);
}

// The body of a built page, or "<no frame>" when the page is not the file template
// around a body.
inline std::string BodyOf(const std::string& page) {
    const std::string prefix = FramePrefix();
    const std::string suffix = FrameSuffix();
    if (page.compare(0, prefix.size(), prefix) != 0) return "<no frame>";
    const size_t end = page.rfind(suffix);
    if (end == std::string::npos || end < prefix.size()) return "<no frame>";
    return page.substr(prefix.size(), end - prefix.size());
}

// Stands in for the connection: a deferred answer is finished into the request.
struct InlineResumer : AnswerResumer {
    void ResumeAnswer(const std::function<void(CRequest&)>& write) override {
        request->response->deferred = false;
        write(*request);
    }
    std::weak_ptr<AnswerResumer*> Token() override { return token; }
    CRequest* request = nullptr;
    std::shared_ptr<AnswerResumer*> token = std::make_shared<AnswerResumer*>(this);
};

// A GET request mapped and prepared as the file layer leaves it for the router (head
// written, file open), with no router of its own, answered into memory.
struct PreparedRequest {
    PreparedRequest(const TempDir& root, const std::wstring& url, std::map<std::wstring, std::wstring> parameters = {}) {
        context.documentRoot = AnsiToWide(root.Path());
        resumer.request = &request;
        sink.resumer = &resumer;
        request.urlPath = url;
        request.parameters = std::move(parameters);
        MapUrl(request);
        if (!request.status) prepared = PrepareFile(request);
    }
    Response Answer() const { return ParseResponse(std::string(sink.buffer.PendingBytes())); }

    ServerContext context;
    Exchange exchange{context};
    CRequest& request = exchange.request;
    ResponseSink& sink = exchange.sink;
    InlineResumer resumer;
    bool prepared = false;
};

// A service on a temporary document root, with the page strings, the platform service
// (a fake) it acts on and, for services that use the display, the display's queue;
// Request offers it one prepared request and waits until what it queued has run.
template <typename Service, typename Platform>
struct ServiceUnderTest {
    Response Request(const std::wstring& url, std::map<std::wstring, std::wstring> parameters = {}) {
        PreparedRequest prepared(root, url, std::move(parameters));
        EXPECT_TRUE(prepared.prepared);
        handled = service.Handle(prepared.request);
        Settle();
        EXPECT_FALSE(prepared.sink.deferred) << "a deferred answer was never finished";
        fileLeftOpen = prepared.sink.file.IsOpen();
        return prepared.Answer();
    }

    // Waits until the queue has run every job queued so far, then runs the results
    // they posted back.
    void Settle() {
        std::promise<void> done;
        if (display.Run([&done] { done.set_value(); })) done.get_future().wait();
        io.restart();
        io.poll();
    }

    static Service Make(SiteState& site, Platform& platform, BackgroundQueue& queue) {
        if constexpr (std::is_constructible_v<Service, SiteState&, Platform&, BackgroundQueue&>) {
            return Service(site, platform, queue);
        } else {
            return Service(site, platform);
        }
    }

    TempDir root;
    SiteState site;
    Platform platform;
    asio::io_context io;
    BackgroundQueue display{io.get_executor(), 16};
    Service service = Make(site, platform, display);
    bool handled = false;
    bool fileLeftOpen = false;
};

}  // namespace tarnhollow::test
