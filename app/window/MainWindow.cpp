// The main window's controls, colours, layout and commands.
#include "app/window/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>

#include "app/window/DialogCommands.h"
#include "app/window/PortEdit.h"
#include "app/window/QrView.h"
#include "app/window/StatusBox.h"
#include "platform/Resources.h"

namespace tarnhollow {

namespace {

// The colour behind the controls that do not show the picture through.
const QColor kControlColour(151, 192, 192);

QPixmap ResourcePixmap(const char* type, const char* name) {
    QPixmap pixmap;
    if (auto bytes = FindResource(type, name)) {
        pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<uint>(bytes->size()), "PNG");
    }
    return pixmap;
}

// The application icon at its own size and at 16 by 16 pixels.
QIcon ApplicationIcon() {
    const QPixmap icon = ResourcePixmap("ICON", "128");
    QIcon both(icon);
    both.addPixmap(icon.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return both;
}

// Measured from the screen once and kept for the life of the process.
int ScreenMargin(const QWidget& widget) {
    static const int margin = LayoutMargin(widget.logicalDpiX());
    return margin;
}

}  // namespace

MainWindow::MainWindow(DialogCommands& commands, int dpi)
    : commands_(commands),
      opener_([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); }),
      background_(ResourcePixmap("BITMAP", "138")) {
    setWindowTitle(QStringLiteral("Tarnhollow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(ApplicationIcon());
    BuildControls();
    ApplyColours();
    units_ = BaseUnitsOf(fontMetrics());
    margin_ = dpi > 0 ? LayoutMargin(dpi) : ScreenMargin(*this);
    template_ = TemplateRects(units_);
    ControlRects least = template_;
    tarnhollow::LayoutControls(least, 0, 0, margin_);
    setMinimumSize(template_[Control::Register].right() + 1 + margin_,
                   least[Control::Stop].bottom() + 1 + margin_);
    resize(InitialClientSize(units_, margin_));
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        tray_->setToolTip(windowTitle());
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) Restore();
        });
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
    // Created in the template's order, which is also the order of the Tab key.
    enable_ = new QCheckBox(QStringLiteral("Enable"), this);
    enable_->setObjectName(QStringLiteral("enable"));
    portLabel_ = new QLabel(QStringLiteral("Port"), this);
    portLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    port_ = new PortEdit(this);
    port_->setObjectName(QStringLiteral("port"));
    status_ = new StatusBox(this);
    status_->setObjectName(QStringLiteral("status"));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    dot_ = new QLabel(QStringLiteral("."), this);
    dot_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    domain_ = new QComboBox(this);
    domain_->setObjectName(QStringLiteral("domain"));
    userLabel_ = new QLabel(QStringLiteral("User"), this);
    userLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("user"));
    passLabel_ = new QLabel(QStringLiteral("Pass"), this);
    passLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    pass_ = new QLineEdit(this);
    pass_->setObjectName(QStringLiteral("pass"));
    pass_->setEchoMode(QLineEdit::Password);
    register_ = new QPushButton(QStringLiteral("Register"), this);
    register_->setObjectName(QStringLiteral("register"));
    save_ = new QPushButton(QStringLiteral("Save"), this);
    save_->setObjectName(QStringLiteral("save"));
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("stop"));
    qr_ = new QrView(this);
    qr_->setObjectName(QStringLiteral("qr"));
    // Enter anywhere in the window is Save.
    register_->setAutoDefault(false);
    stop_->setAutoDefault(false);
    save_->setDefault(true);
    // Labels, as static controls, let clicks through to what lies under them (the
    // stretched "Port" label lies over the Enable box).
    for (QLabel* label : {portLabel_, dot_, userLabel_, passLabel_}) {
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    connect(enable_, &QCheckBox::clicked, this, [this] { OnEnableClicked(); });
    connect(save_, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(stop_, &QPushButton::clicked, this, [this] { commands_.Stop(); });
    connect(register_, &QPushButton::clicked, this, [this] { commands_.Register(); });
    status_->OnActivated([this] { OnStatusActivated(); });
}

void MainWindow::ApplyColours() {
    // Labels and the read-only status box show the picture through; the other
    // controls stand on the solid colour.
    for (QWidget* control : std::initializer_list<QWidget*>{enable_, port_, name_, domain_, user_, pass_}) {
        QPalette palette = control->palette();
        palette.setColor(QPalette::Base, kControlColour);
        palette.setColor(QPalette::Window, kControlColour);
        palette.setColor(QPalette::Button, kControlColour);
        control->setPalette(palette);
    }
    enable_->setAutoFillBackground(true);
    QPalette through = status_->palette();
    through.setColor(QPalette::Base, Qt::transparent);
    status_->setPalette(through);
    status_->viewport()->setAutoFillBackground(false);
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (background_.isNull()) {
        painter.fillRect(rect(), kControlColour);
    } else {
        painter.drawPixmap(rect(), background_);
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
}

void MainWindow::LayoutControls() {
    ControlRects rects = template_;
    tarnhollow::LayoutControls(rects, width(), height(), margin_);
    const std::pair<QWidget*, Control> placed[] = {
        {enable_, Control::Enable}, {portLabel_, Control::PortLabel}, {port_, Control::Port},
        {status_, Control::Status}, {name_, Control::Name},           {dot_, Control::Dot},
        {domain_, Control::Domain}, {userLabel_, Control::UserLabel}, {user_, Control::User},
        {passLabel_, Control::PassLabel}, {pass_, Control::Pass},     {register_, Control::Register},
        {save_, Control::Save},     {stop_, Control::Stop},           {qr_, Control::Qr},
    };
    for (const auto& [widget, control] : placed) widget->setGeometry(rects[control]);
}

void MainWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (loadAndStartPosted_) return;
    loadAndStartPosted_ = true;
    commands_.LoadAndStart();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    Minimise();
}

void MainWindow::reject() { Minimise(); }

void MainWindow::Minimise() {
    if (tray_) {
        tray_->show();
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::Restore() {
    showNormal();
    raise();
    activateWindow();
    if (tray_) tray_->hide();
}

DialogFields MainWindow::ReadFields() {
    DialogFields fields = shown_;
    bool number = false;
    const unsigned port = port_->text().trimmed().toUInt(&number);
    if (number && port >= 1 && port <= 65535) {
        fields.port = port;
        fields.user = user_->text().toStdWString();
        fields.password = pass_->text().toStdWString();
        fields.name = name_->text().toStdWString();
    } else {
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                    QStringLiteral("Please enter an integer between 1 and 65535."), QMessageBox::Ok,
                                    this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        port_->setFocus();
        port_->selectAll();
    }
    fields.enable = enable_->isChecked();
    if (domain_->currentIndex() >= 0) fields.domain = domain_->currentText().toStdWString();
    shown_ = fields;
    return fields;
}

void MainWindow::EnableDependentControls() {
    port_->setEnabled(enable_->isChecked());
    status_->setEnabled(enable_->isChecked());
}

void MainWindow::OnSave() { commands_.Save(ReadFields()); }

void MainWindow::OnEnableClicked() {
    const DialogFields fields = ReadFields();
    EnableDependentControls();
    commands_.EnableClicked(fields);
}

void MainWindow::OnStatusActivated() {
    if (!openUrl_.isEmpty()) opener_(openUrl_);
}

void MainWindow::ShowStatusText(const QString& text) {
    if (status_->toPlainText() != text) status_->setPlainText(text);
}

void MainWindow::ShowFields(const DialogFields& fields, const std::vector<std::wstring>& domains) {
    shown_ = fields;
    enable_->setChecked(fields.enable);
    port_->setText(QString::number(fields.port));
    name_->setText(QString::fromStdWString(fields.name));
    user_->setText(QString::fromStdWString(fields.user));
    pass_->setText(QString::fromStdWString(fields.password));
    // The list keeps its entries sorted, as a sorted list box does, ignoring case.
    QStringList entries;
    for (const std::wstring& domain : domains) entries.append(QString::fromStdWString(domain));
    std::sort(entries.begin(), entries.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QStringList current;
    for (int i = 0; i < domain_->count(); ++i) current.append(domain_->itemText(i));
    if (current != entries) {
        domain_->clear();
        domain_->addItems(entries);
    }
    domain_->setCurrentIndex(domain_->findText(QString::fromStdWString(fields.domain), Qt::MatchFixedString));
    EnableDependentControls();
}

void MainWindow::ShowAddressUrl(const QString& url) { qr_->SetUrl(url); }

void MainWindow::ShowError(const QString& message) {
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::OpenInBrowser(const QString& url) { opener_(url); }

}  // namespace tarnhollow
