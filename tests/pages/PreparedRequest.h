// A GET request mapped and prepared against a temporary document root as the file
// server leaves it for the router (head written, file open), answered into memory.
#pragma once

#include <gtest/gtest.h>

#include <asio.hpp>
#include <future>
#include <map>
#include <string>
#include <type_traits>

#include "http/PendingAnswer.h"
#include "http/ServerContext.h"
#include "http/StaticFiles.h"
#include "pages/SiteState.h"
#include "platform/BackgroundQueue.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {

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

struct PreparedRequest {
    PreparedRequest(const TempDir& root, const std::wstring& url, std::map<std::wstring, std::wstring> parameters = {}) {
        context.documentRoot = AnsiToWide(root.Path());
        request.server = &context;
        request.response = &sink;
        resumer.request = &request;
        sink.resumer = &resumer;
        request.urlPath = url;
        request.parameters = std::move(parameters);
        MapUrl(request);
        if (!request.status) prepared = PrepareFile(request);
    }
    Response Answer() const { return ParseResponse(std::string(sink.buffer.PendingBytes())); }

    ServerContext context;
    ResponseSink sink;
    CRequest request;
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
