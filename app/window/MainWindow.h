// The main dialog as a Qt window: the controls of the dialog template over the
// background picture, laid out on each resize, and the QR code of the address. It shows
// what the controller sends and hands the user's commands to DialogCommands.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <vector>

#include "app/View.h"
#include "app/window/DialogLayout.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSystemTrayIcon;

namespace tarnhollow {

class DialogCommands;
class PortEdit;
class QrView;
class StatusBox;

class MainWindow : public QDialog {
public:
    // Opens a URL in the user's browser.
    using Opener = std::function<void(const QString& url)>;

    // `dpi` is the screen's horizontal density, from which the layout margin is taken
    // once; 0 measures it from the screen.
    explicit MainWindow(DialogCommands& commands, int dpi = 0);
    ~MainWindow() override;

    // The desktop's opener unless replaced.
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // What the controller sends, on Qt's thread.
    void ShowStatusText(const QString& text);
    void ShowFields(const DialogFields& fields, const std::vector<std::wstring>& domains);
    void ShowAddressUrl(const QString& url);
    void SetOpenUrl(const QString& url) { openUrl_ = url; }
    void ShowError(const QString& message);
    void OpenInBrowser(const QString& url);

    int Margin() const { return margin_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape, and the dialog's Cancel.
    void reject() override;

private:
    void BuildControls();
    void ApplyColours();
    void LayoutControls();
    // Reads the fields from the controls, as a dialog's data exchange does: a port out
    // of range is reported, and then nothing is read but the Enable box and the domain.
    DialogFields ReadFields();
    void EnableDependentControls();
    void OnSave();
    void OnEnableClicked();
    void OnStatusActivated();
    // To the system tray when the desktop has one, else to the task bar; the server runs on.
    void Minimise();
    void Restore();

    DialogCommands& commands_;
    Opener opener_;
    QPixmap background_;
    BaseUnits units_;
    int margin_ = 0;
    ControlRects template_;
    bool loadAndStartPosted_ = false;
    QString openUrl_;
    // The fields as the controller last sent them.
    DialogFields shown_;
    QCheckBox* enable_ = nullptr;
    QLabel* portLabel_ = nullptr;
    PortEdit* port_ = nullptr;
    StatusBox* status_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* dot_ = nullptr;
    QComboBox* domain_ = nullptr;
    QLabel* userLabel_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLabel* passLabel_ = nullptr;
    QLineEdit* pass_ = nullptr;
    QPushButton* register_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* stop_ = nullptr;
    QrView* qr_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
};

}  // namespace tarnhollow
