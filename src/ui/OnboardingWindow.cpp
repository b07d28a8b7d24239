#include "ui/OnboardingWindow.h"

#include "devices/DeviceManager.h"
#include "platform/UserDefaults.h"
#include "ui/OnboardingStatus.h"
#include "ui/TextStyle.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/FixedWidth.h"

namespace lumarient {
namespace {

struct Step {
    const char *title;
    const char *description;
};

const Step steps[] = {
    {"Enable Developer options", "On the phone, open **Settings → About phone** and tap **Build number** seven times."},
    {"Turn on USB debugging", "Open **Settings → System → Developer options** and enable **USB debugging**."},
    {"Plug the phone into this computer",
     "Use a USB cable — no drivers needed. This is the easiest way to start, and you can go wireless right after."},
    {"Approve the connection", "On the phone, check **Always allow from this computer**, then tap **Allow**."},
};

QWidget *numberBadge(int number, QWidget *parent)
{
    auto *badge = new QLabel(QString::number(number), parent);
    badge->setFixedSize(26, 26);
    badge->setAlignment(Qt::AlignCenter);
    QColor tint = badge->palette().color(QPalette::Highlight);
    tint.setAlphaF(0.15);
    badge->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 13px; font-weight: bold;")
                             .arg(tint.name(QColor::HexArgb)));
    return badge;
}

QWidget *dividerLine(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

OnboardingWindow::OnboardingWindow(DeviceManager &manager, UserDefaults &defaults,
                                   std::function<void(QWidget *)> openPairing, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), manager_(manager),
      defaults_(defaults), statusIcon_(new QLabel(this)), statusText_(new QLabel(this)),
      connectWirelessly_(new QPushButton(QStringLiteral("Connect Wirelessly…"), this)),
      skip_(new QPushButton(QStringLiteral("Skip for Now"), this)), done_(new QPushButton(QStringLiteral("Done"), this))
{
    setWindowTitle(QStringLiteral("Welcome to Lumarient"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 20);
    layout->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("Connect your Android phone"), this);
    scaleFont(title, 1.5, true);
    layout->addWidget(title);
    layout->addWidget(secondary(richLabel(QStringLiteral("One-time setup — after this, sessions start with a single "
                                                         "click from the tray menu or the Lumarient window."),
                                          this)));

    auto *stepGrid = new QGridLayout;
    stepGrid->setHorizontalSpacing(12);
    stepGrid->setVerticalSpacing(10);
    int row = 0;
    for (const Step &step : steps) {
        stepGrid->addWidget(numberBadge(row + 1, this), row, 0, Qt::AlignTop);
        auto *text = new QVBoxLayout;
        text->setSpacing(2);
        auto *stepTitle = new QLabel(QString::fromUtf8(step.title), this);
        scaleFont(stepTitle, 1.0, true);
        text->addWidget(stepTitle);
        text->addWidget(secondary(richLabel(QString::fromUtf8(step.description), this)));
        stepGrid->addLayout(text, row, 1);
        ++row;
    }
    stepGrid->setColumnStretch(1, 1);
    layout->addLayout(stepGrid);

    auto *tip = richLabel(QStringLiteral("Once connected by cable, use **Switch to Wi-Fi** in the menu to go "
                                         "cable-free — no extra setup needed."),
                          this);
    scaleFont(tip, 0.92, false);
    layout->addWidget(tip);

    auto *orRow = new QHBoxLayout;
    orRow->addWidget(dividerLine(this), 1);
    orRow->addWidget(secondary(new QLabel(QStringLiteral("or start without a cable"), this)));
    orRow->addWidget(dividerLine(this), 1);
    layout->addLayout(orRow);
    auto *wirelessRow = new QHBoxLayout;
    wirelessRow->addWidget(connectWirelessly_);
    auto *caption = secondary(richLabel(QStringLiteral("Cable-free setup needs the phone's pairing screen open — the "
                                                       "next window walks you through it."),
                                        this));
    scaleFont(caption, 0.85, false);
    wirelessRow->addWidget(caption, 1);
    layout->addLayout(wirelessRow);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(statusIcon_);
    bottom->addWidget(statusText_);
    bottom->addStretch(1);
    bottom->addWidget(skip_);
    bottom->addWidget(done_);
    layout->addLayout(bottom);

    fitToWidth(*this, 560);
    done_->setDefault(true);
    connect(skip_, &QPushButton::clicked, this, &QWidget::close);
    connect(done_, &QPushButton::clicked, this, &QWidget::close);
    connect(connectWirelessly_, &QPushButton::clicked, this,
            [this, openPairing = std::move(openPairing)] { openPairing(this); });
    connect(&manager_, &DeviceManager::devicesChanged, this, &OnboardingWindow::updateStatus);
    connect(&manager_, &DeviceManager::configsChanged, this, &OnboardingWindow::updateStatus);
    updateStatus();
}

void OnboardingWindow::present()
{
    show();
    raise();
    activateWindow();
}

void OnboardingWindow::closeEvent(QCloseEvent *event)
{
    defaults_.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    QWidget::closeEvent(event);
    emit closed();
}

void OnboardingWindow::updateStatus()
{
    const OnboardingStatus status = onboardingStatus(manager_.devices(), manager_.configs());
    statusText_->setText(status.text);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    QIcon icon;
    switch (status.kind) {
    case OnboardingStatus::Kind::connected:
        icon =
            QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"), style()->standardIcon(QStyle::SP_DialogApplyButton));
        break;
    case OnboardingStatus::Kind::pending:
        icon = QIcon::fromTheme(QStringLiteral("dialog-warning"), style()->standardIcon(QStyle::SP_MessageBoxWarning));
        break;
    case OnboardingStatus::Kind::waiting:
        icon = QIcon::fromTheme(QStringLiteral("content-loading-symbolic"),
                                style()->standardIcon(QStyle::SP_BrowserReload));
        break;
    }
    statusIcon_->setPixmap(icon.pixmap(size, size));
    done_->setEnabled(status.kind == OnboardingStatus::Kind::connected);
}

} // namespace lumarient
