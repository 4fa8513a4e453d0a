// Answers that a service finishes later, once work done off the server thread (a
// screen capture, say) has posted its result back: the connection waits meanwhile, and
// a result that arrives after the connection has gone is dropped.
#pragma once

#include <functional>
#include <memory>

namespace tarnhollow {

struct CRequest;

// Implemented by whatever sends the answer (the connection).
class AnswerResumer {
public:
    // On the server thread: `write` completes the answer, which is then sent.
    virtual void ResumeAnswer(const std::function<void(CRequest&)>& write) = 0;
    // A token that expires when the resumer goes.
    virtual std::weak_ptr<AnswerResumer*> Token() = 0;

protected:
    ~AnswerResumer() = default;
};

class PendingAnswer {
public:
    PendingAnswer() = default;
    explicit PendingAnswer(std::weak_ptr<AnswerResumer*> resumer) : resumer_(std::move(resumer)) {}

    // On the server thread only. Does nothing when the connection has gone.
    void Finish(const std::function<void(CRequest&)>& write) const {
        if (auto resumer = resumer_.lock()) (*resumer)->ResumeAnswer(write);
    }

private:
    std::weak_ptr<AnswerResumer*> resumer_;
};

// Called by a service while it handles `request`: the connection will not send until
// the answer is finished. False when the request's connection cannot wait for one; the
// service must then answer at once.
bool DeferAnswer(CRequest& request, PendingAnswer& answer);
// Takes back a deferral when the work could not be started after all.
void CancelDeferral(CRequest& request);

}  // namespace tarnhollow
