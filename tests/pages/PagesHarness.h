// In-memory exchanges with the pages layer: a GET parsed from its request line and
// answered by the real dispatch and a Router over a temporary document root, with no
// socket; plus the file template's frame, to cut a built page's body out of it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "http/Dispatch.h"
#include "http/Request.h"
#include "http/ServerContext.h"
#include "http/StaticFiles.h"
#include "pages/PageBuilder.h"
#include "pages/Router.h"
#include "pages/SiteState.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {

// One request with its own response sink, bound to a harness's server context.
struct Exchange {
    CRequest request;
    ResponseSink sink;

    Exchange(const ServerContext& context, const std::string& target) {
        request.server = &context;
        request.response = &sink;
        ReadState state = ReadState::RequestLine;
        ParseLine(request, state, AnsiToWide("GET " + target + " HTTP/1.0"));
    }

    // Everything the connection would send: the buffer, then what is left of an open file.
    std::string Sent() {
        std::string out(sink.buffer.PendingBytes());
        if (sink.file.IsOpen()) {
            char chunk[65536];
            long n;
            while ((n = ReadSome(sink.file.Get(), chunk, sizeof chunk)) > 0) out.append(chunk, static_cast<size_t>(n));
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

}  // namespace tarnhollow::test
