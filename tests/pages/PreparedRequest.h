// A GET request mapped and prepared against a temporary document root as the file
// server leaves it for the router (head written, file open), answered into memory.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "http/ServerContext.h"
#include "http/StaticFiles.h"
#include "pages/SiteState.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {

struct PreparedRequest {
    PreparedRequest(const TempDir& root, const std::wstring& url, std::map<std::wstring, std::wstring> parameters = {}) {
        context.documentRoot = AnsiToWide(root.Path());
        request.server = &context;
        request.response = &sink;
        request.urlPath = url;
        request.parameters = std::move(parameters);
        MapUrl(request);
        if (!request.status) prepared = PrepareFile(request);
    }
    Response Answer() const { return ParseResponse(std::string(sink.buffer.PendingBytes())); }

    ServerContext context;
    ResponseSink sink;
    CRequest request;
    bool prepared = false;
};

// A service on a temporary document root, with the page strings and the platform
// service (a fake) it acts on; Request offers it one prepared request.
template <typename Service, typename Platform>
struct ServiceUnderTest {
    Response Request(const std::wstring& url, std::map<std::wstring, std::wstring> parameters = {}) {
        PreparedRequest prepared(root, url, std::move(parameters));
        EXPECT_TRUE(prepared.prepared);
        handled = service.Handle(prepared.request);
        fileLeftOpen = prepared.sink.file.IsOpen();
        return prepared.Answer();
    }

    TempDir root;
    SiteState site;
    Platform platform;
    Service service{site, platform};
    bool handled = false;
    bool fileLeftOpen = false;
};

}  // namespace tarnhollow::test
