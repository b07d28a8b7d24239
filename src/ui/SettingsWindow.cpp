#include "ui/SettingsWindow.h"

#include "devices/DeviceManager.h"
#include "input/SeamlessInputManager.h"
#include "platform/LoginAutostart.h"
#include "ui/DeviceConfigRow.h"
#include "ui/TextStyle.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/FixedWidth.h"

namespace lumarient {

SettingsWindow::SettingsWindow(DeviceManager &manager, const LoginAutostart &autostart,
                               SeamlessInputManager *keyboardMouse, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), manager_(manager),
      keyboardMouse_(keyboardMouse),
      emptyText_(
          secondary(richLabel(QStringLiteral("No devices yet — plug in a phone with USB debugging enabled and it "
                                             "will appear here automatically."),
                              this))),
      removalNote_(
          secondary(richLabel(QStringLiteral("Removing a device only forgets its settings — a connected phone is "
                                             "re-discovered automatically."),
                              this))),
      rowsLayout_(new QVBoxLayout), startAtLogin_(new QCheckBox(QStringLiteral("Start Lumarient at login"), this))
{
    setWindowTitle(QStringLiteral("Lumarient Settings"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    auto *heading = new QLabel(QStringLiteral("Devices"), this);
    scaleFont(heading, 1.0, true);
    layout->addWidget(heading);
    layout->addWidget(emptyText_);
    rowsLayout_->setSpacing(14);
    layout->addLayout(rowsLayout_);
    scaleFont(removalNote_, 0.85);
    layout->addWidget(removalNote_);

    auto *general = new QLabel(QStringLiteral("General"), this);
    scaleFont(general, 1.0, true);
    layout->addWidget(general);
    layout->addWidget(startAtLogin_);
    startAtLogin_->setChecked(autostart.isEnabled());
    connect(startAtLogin_, &QCheckBox::toggled, this, [this, &autostart](bool on) {
        // A choice that could not be saved is not shown as made.
        if (!autostart.setEnabled(on)) {
            const QSignalBlocker blocker(startAtLogin_);
            startAtLogin_->setChecked(autostart.isEnabled());
        }
    });

    connect(&manager_, &DeviceManager::configsChanged, this, &SettingsWindow::rebuild);
    rebuild();
}

void SettingsWindow::present()
{
    show();
    raise();
    activateWindow();
}

void SettingsWindow::rebuild()
{
    const QList<DeviceConfig> configs = manager_.configs();
    bool sameRows = rows_.size() == configs.size();
    for (qsizetype index = 0; sameRows && index < configs.size(); ++index)
        sameRows = rows_[index]->configID() == configs[index].id;

    if (sameRows) {
        // Keep the widgets (and the field being typed in) when only values changed.
        for (qsizetype index = 0; index < configs.size(); ++index)
            rows_[index]->show(configs[index]);
    } else {
        // A row may be the sender of the change that got us here (its remove
        // button): let the event loop delete it.
        for (DeviceConfigRow *row : std::as_const(rows_)) {
            rowsLayout_->removeWidget(row);
            row->hide();
            row->deleteLater();
        }
        rows_.clear();
        for (const DeviceConfig &config : configs) {
            const QUuid id = config.id;
            auto *row = new DeviceConfigRow(
                config,
                [this](const DeviceConfig &changed) {
                    QList<DeviceConfig> updated = manager_.configs();
                    for (DeviceConfig &existing : updated) {
                        if (existing.id == changed.id)
                            existing = changed;
                    }
                    manager_.setConfigs(updated);
                },
                [this, id] { manager_.removeConfig(id); }, this);
            if (keyboardMouse_) {
                row->addPointerSpeed(keyboardMouse_->pointerSpeed(id), SeamlessInputManager::minimumPointerSpeed,
                                     SeamlessInputManager::maximumPointerSpeed,
                                     [this, id](double speed) { keyboardMouse_->setPointerSpeed(id, speed); });
            }
            rowsLayout_->addWidget(row);
            rows_.append(row);
        }
    }
    emptyText_->setVisible(configs.isEmpty());
    removalNote_->setVisible(!configs.isEmpty());
    fitToWidth(*this, 540);
}

} // namespace lumarient
