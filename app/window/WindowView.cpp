// Queuing the controller's calls to Qt's thread.
#include "app/window/WindowView.h"

#include <QMetaObject>

namespace tarnhollow {

template <typename Call>
void WindowView::Queue(Call call) {
    // The window as context: the call runs on its thread, and not at all once it is gone.
    QMetaObject::invokeMethod(
        window_, [window = window_, call = std::move(call)] { call(*window); }, Qt::QueuedConnection);
}

void WindowView::ShowStatusText(const std::wstring& text) {
    Queue([text = QString::fromStdWString(text)](MainWindow& window) { window.ShowStatusText(text); });
}

void WindowView::ShowError(const std::wstring& message) {
    Queue([message = QString::fromStdWString(message)](MainWindow& window) { window.ShowError(message); });
}

void WindowView::ShowFields(const DialogFields& fields, const std::vector<std::wstring>& domains) {
    Queue([fields, domains](MainWindow& window) { window.ShowFields(fields, domains); });
}

void WindowView::ShowAddressUrl(const std::wstring& url) {
    Queue([url = QString::fromStdWString(url)](MainWindow& window) { window.ShowAddressUrl(url); });
}

void WindowView::SetOpenUrl(const std::wstring& url) {
    Queue([url = QString::fromStdWString(url)](MainWindow& window) { window.SetOpenUrl(url); });
}

void WindowView::OpenInBrowser(const std::wstring& url) {
    Queue([url = QString::fromStdWString(url)](MainWindow& window) { window.OpenInBrowser(url); });
}

}  // namespace tarnhollow
