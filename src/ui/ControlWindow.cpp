#include "ui/ControlWindow.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "ui/PhoneIcon.h"
#include "ui/TextStyle.h"
#include "wireless/WirelessConnector.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace lumarient {
namespace {

// Buttons treat '&' as a mnemonic marker; phone names may contain one.
QString buttonLabel(const QString &text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool sameKind(const QWidget *widget, MenuEntry::Kind kind)
{
    switch (kind) {
    case MenuEntry::Kind::text:
        return qobject_cast<const QLabel *>(widget) != nullptr;
    case MenuEntry::Kind::button:
        return qobject_cast<const QPushButton *>(widget) != nullptr;
    case MenuEntry::Kind::divider:
        return qobject_cast<const QFrame *>(widget) != nullptr && qobject_cast<const QLabel *>(widget) == nullptr;
    }
    return false;
}

void showEntry(QWidget &widget, const MenuEntry &entry)
{
    if (auto *label = qobject_cast<QLabel *>(&widget))
        label->setText(entry.text);
    else if (auto *button = qobject_cast<QPushButton *>(&widget))
        button->setText(buttonLabel(entry.text));
    widget.setEnabled(entry.kind != MenuEntry::Kind::button || entry.enabled);
}

} // namespace

ControlWindow::ControlWindow(MenuActions &actions, QWidget *parent)
    : QWidget(parent, Qt::Window), actions_(actions), entriesLayout_(new QVBoxLayout)
{
    setWindowTitle(QStringLiteral("Lumarient"));
    setWindowIcon(phoneIcon());
    setMinimumSize(320, 360);
    resize(380, 560);

    auto *entries = new QWidget;
    entriesLayout_->setSpacing(6);
    entriesLayout_->addStretch();
    entries->setLayout(entriesLayout_);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(entries);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    auto *hint =
        new QLabel(QStringLiteral("Open Lumarient from the application menu to show this window again."), this);
    hint->setWordWrap(true);
    layout->addWidget(secondary(hint));

    pendingUpdate_.setSingleShot(true);
    pendingUpdate_.setInterval(0);
    connect(&pendingUpdate_, &QTimer::timeout, this, &ControlWindow::updateEntries);
    actions_.sources().connectChanged(&pendingUpdate_, qOverload<>(&QTimer::start));
    updateEntries();
}

void ControlWindow::present()
{
    show();
    raise();
    activateWindow();
}

void ControlWindow::showEvent(QShowEvent *event)
{
    if (stale_)
        renderNow();
    QWidget::showEvent(event);
}

void ControlWindow::updateEntries()
{
    pendingUpdate_.stop();
    // A hidden window is brought up to date when it shows again.
    if (!isVisible() && !widgets_.isEmpty()) {
        stale_ = true;
        return;
    }
    renderNow();
}

void ControlWindow::renderNow()
{
    stale_ = false;
    render(buildMenu(actions_.menuState()));
    emit entriesUpdated();
}

void ControlWindow::render(const QList<MenuEntry> &entries)
{
    for (qsizetype position = 0; position < entries.size(); ++position) {
        const MenuEntry &entry = entries[position];
        if (position == widgets_.size()) {
            QWidget *widget = makeWidget(entry, position);
            entriesLayout_->insertWidget(position, widget);
            widgets_.append(widget);
        } else if (!sameKind(widgets_[position], entry.kind)) {
            QWidget *widget = makeWidget(entry, position);
            QWidget *replaced = widgets_[position];
            delete entriesLayout_->replaceWidget(replaced, widget);
            widgets_[position] = widget;
            replaced->hide();
            // Not at once: the render may run from inside the replaced button's click.
            replaced->deleteLater();
        } else if (rendered_[position] != entry) {
            showEntry(*widgets_[position], entry);
        }
    }
    while (widgets_.size() > entries.size()) {
        QWidget *surplus = widgets_.takeLast();
        entriesLayout_->removeWidget(surplus);
        surplus->hide();
        surplus->deleteLater();
    }
    rendered_ = entries;
}

QWidget *ControlWindow::makeWidget(const MenuEntry &entry, qsizetype position)
{
    QWidget *widget = nullptr;
    switch (entry.kind) {
    case MenuEntry::Kind::text: {
        auto *label = new QLabel;
        // Phone names and error texts are shown as they are, never as markup.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        widget = label;
        break;
    }
    case MenuEntry::Kind::button: {
        auto *button = new QPushButton;
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, position] { choose(position); });
        widget = button;
        break;
    }
    case MenuEntry::Kind::divider: {
        auto *line = new QFrame;
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        widget = line;
        break;
    }
    }
    showEntry(*widget, entry);
    return widget;
}

void ControlWindow::choose(qsizetype position) const
{
    // The entry the button shows now, not the one it showed when it was made.
    if (position >= rendered_.size())
        return;
    const MenuEntry entry = rendered_[position];
    if (entry.kind == MenuEntry::Kind::button && entry.enabled)
        actions_.trigger(entry.action);
}

} // namespace lumarient
