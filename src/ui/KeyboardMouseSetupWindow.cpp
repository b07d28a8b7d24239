#include "ui/KeyboardMouseSetupWindow.h"

#include "input/SeamlessInputManager.h"
#include "platform/UserDefaults.h"
#include "ui/FixedWidth.h"
#include "ui/RichText.h"
#include "ui/TextStyle.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumarient {
namespace {

const Placement choices[] = {Placement::left, Placement::right, Placement::above, Placement::below};

QString choiceLabel(Placement placement)
{
    switch (placement) {
    case Placement::left:
        return QStringLiteral("Left");
    case Placement::right:
        return QStringLiteral("Right");
    case Placement::above:
        return QStringLiteral("Above");
    case Placement::below:
        return QStringLiteral("Below");
    case Placement::overlapping:
        break;
    }
    return {};
}

// A finished step shows a green check, an open one its number in a circle.
void setBadge(QLabel *badge, int number, bool finished)
{
    if (finished) {
        badge->setText(QStringLiteral("✔"));
        badge->setStyleSheet(QStringLiteral("color: white; background-color: #2e9e44; border-radius: 10px; "
                                            "font-weight: bold;"));
    } else {
        badge->setText(QString::number(number));
        QColor tint = badge->palette().color(QPalette::Highlight);
        tint.setAlphaF(0.15);
        badge->setStyleSheet(
            QStringLiteral("background-color: %1; border-radius: 10px;").arg(tint.name(QColor::HexArgb)));
    }
}

QLabel *newBadge(QWidget *parent)
{
    auto *badge = new QLabel(parent);
    badge->setFixedSize(20, 20);
    badge->setAlignment(Qt::AlignCenter);
    return badge;
}

QLabel *caption(const QString &text, QWidget *parent)
{
    QLabel *label = secondary(richLabel(text, parent));
    scaleFont(label, 0.85, false);
    return label;
}

} // namespace

KeyboardMouseSetupWindow::KeyboardMouseSetupWindow(SeamlessInputManager &manager, UserDefaults &defaults,
                                                   QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), manager_(manager),
      defaults_(defaults), inputBadge_(newBadge(this)), inputBody_(richLabel(QString(), this)),
      placementBadge_(newBadge(this)), placementBody_(richLabel(QString(), this)), sides_(new QButtonGroup(this)),
      done_(new QPushButton(QStringLiteral("Done"), this))
{
    setWindowTitle(QStringLiteral("Keyboard & Mouse Setup"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto *title = new QLabel(QStringLiteral("Set up Keyboard & Mouse"), this);
    scaleFont(title, 1.3, true);
    layout->addWidget(title);
    layout->addWidget(secondary(richLabel(
        QStringLiteral("Your computer's keyboard and mouse drive the phone's own screen. Move the cursor past the edge "
                       "of your display and it appears on the phone — move it back and you're on the computer again."),
        this)));
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto addStep = [&](QLabel *badge, const QString &stepTitle, QLayout *body) {
        auto *row = new QHBoxLayout;
        row->setSpacing(12);
        row->addWidget(badge, 0, Qt::AlignTop);
        auto *column = new QVBoxLayout;
        column->setSpacing(6);
        auto *heading = new QLabel(stepTitle, this);
        scaleFont(heading, 1.0, true);
        column->addWidget(heading);
        column->addLayout(body);
        row->addLayout(column, 1);
        layout->addLayout(row);
    };

    auto *inputColumn = new QVBoxLayout;
    inputColumn->addWidget(inputBody_);
    addStep(inputBadge_, QStringLiteral("Allow keyboard and mouse access"), inputColumn);

    auto *placementColumn = new QVBoxLayout;
    placementColumn->setSpacing(8);
    placementColumn->addWidget(placementBody_);
    // The buttons show where the display is, which may be none of them.
    sides_->setExclusive(false);
    auto *sideRow = new QHBoxLayout;
    sideRow->addWidget(new QLabel(QStringLiteral("The phone sits:"), this));
    for (const Placement placement : choices) {
        auto *button = new QPushButton(choiceLabel(placement), this);
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        sides_->addButton(button, int(placement));
        sideRow->addWidget(button);
    }
    sideRow->addStretch(1);
    placementColumn->addLayout(sideRow);
    placementColumn->addWidget(caption(QStringLiteral("This display stays black — nothing is ever shown on it. It only "
                                                      "tells this desktop where the phone is, so the cursor knows "
                                                      "which edge to cross."),
                                       this));
    addStep(placementBadge_, QStringLiteral("Place the phone's display"), placementColumn);

    layout->addWidget(secondary(richLabel(QStringLiteral("Both steps are one-time. Lumarient remembers them."), this)));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(done_);
    layout->addLayout(bottom);

    done_->setDefault(true);
    connect(done_, &QPushButton::clicked, this, &QWidget::close);
    connect(sides_, &QButtonGroup::idClicked, this, [this](int id) {
        if (const std::optional<QUuid> config = manager_.lastStartedConfigID())
            manager_.setPlacement(*config, Placement(id));
        refresh();
    });
    ticker_.setInterval(refreshIntervalMs);
    connect(&ticker_, &QTimer::timeout, this, &KeyboardMouseSetupWindow::refresh);
    refresh();
}

QPushButton *KeyboardMouseSetupWindow::placementButton(Placement placement) const
{
    return qobject_cast<QPushButton *>(sides_->button(int(placement)));
}

void KeyboardMouseSetupWindow::present()
{
    show();
    raise();
    activateWindow();
}

void KeyboardMouseSetupWindow::refresh()
{
    // X11 asks no permission: only a desktop that refused to be watched leaves this open.
    inputFinished_ = !manager_.needsInputMonitoringPermission();
    setBadge(inputBadge_, 1, inputFinished_);
    inputBody_->setText(boldSpansToHtml(
        inputFinished_ ? QStringLiteral("Granted — Lumarient can forward your keyboard and mouse.")
                       : QStringLiteral("This desktop didn't let Lumarient watch the keyboard and mouse, so it can't "
                                        "pass keystrokes and mouse movement to the phone. Nothing is recorded or sent "
                                        "anywhere else.")));

    const std::optional<Placement> placement = manager_.standInPlacement();
    placementFinished_ = placement && *placement != Placement::overlapping;
    setBadge(placementBadge_, 2, placementFinished_);
    QString body;
    if (placementFinished_) {
        body = QStringLiteral("Positioned ") + placementPhrase(*placement) +
               QStringLiteral(" — the cursor crosses over at that edge.");
    } else if (placement) {
        body = QStringLiteral("The stand-in display is currently ") + placementPhrase(*placement) +
               QStringLiteral(". ") + QStringLiteral("Choose a side below to change which edge the cursor ") +
               QStringLiteral("crosses at — put it on the side your phone actually sits on.");
    } else {
        body = QStringLiteral("Start **Keyboard & Mouse Only** from the tray menu or the Lumarient window, then return "
                              "here. Lumarient adds a "
                              "display named **\"— Keyboard & Mouse\"** to your arrangement; where you put it is where "
                              "the cursor crosses onto the phone.");
    }
    if (placement && manager_.placementNotice())
        body += QLatin1Char(' ') + *manager_.placementNotice();
    const QString html = boldSpansToHtml(body);
    const bool textChanged = placementBody_->text() != html;
    placementBody_->setText(html);
    const std::optional<QUuid> config = manager_.lastStartedConfigID();
    const bool hasStandIn = config && manager_.standInDisplayID();
    for (const Placement choice : choices) {
        QPushButton *button = placementButton(choice);
        button->setEnabled(hasStandIn);
        button->setChecked(placement == choice);
    }
    // A longer text needs a taller window.
    if (textChanged && layout() != nullptr)
        fitToWidth(*this, 520);
}

void KeyboardMouseSetupWindow::showEvent(QShowEvent *event)
{
    refresh();
    ticker_.start();
    QWidget::showEvent(event);
}

void KeyboardMouseSetupWindow::hideEvent(QHideEvent *event)
{
    ticker_.stop();
    QWidget::hideEvent(event);
}

void KeyboardMouseSetupWindow::closeEvent(QCloseEvent *event)
{
    defaults_.setValue(QStringLiteral("hasSeenKeyboardMouseSetup"), true);
    QWidget::closeEvent(event);
}

} // namespace lumarient
