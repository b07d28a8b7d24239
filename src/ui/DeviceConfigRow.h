#pragma once

#include "model/DeviceConfig.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;

namespace lumarient {

// One saved phone in the settings window. Every valid edit is handed to
// `onChange` at once; a port or resolution that is not valid is never handed
// on, and the field goes back to the saved value when it loses focus.
class DeviceConfigRow : public QWidget {
    Q_OBJECT
public:
    DeviceConfigRow(const DeviceConfig &config, std::function<void(const DeviceConfig &)> onChange,
                    std::function<void()> onRemove, QWidget *parent = nullptr);

    const QUuid &configID() const { return config_.id; }
    // Shows `config`, leaving alone a field the user is typing in.
    void show(const DeviceConfig &config);

    QLineEdit *nameField() const { return name_; }
    QLineEdit *resolutionField() const { return resolution_; }
    QLineEdit *portField() const { return port_; }
    QCheckBox *invisibleDesktopToggle() const { return invisibleDesktop_; }
    // Adds the keyboard-and-mouse pointer speed, showing `speed`; each change
    // goes to `onChange`.
    void addPointerSpeed(double speed, double minimum, double maximum, std::function<void(double)> onChange);
    QDoubleSpinBox *pointerSpeedField() const { return pointerSpeed_; }

private:
    void commit(const DeviceConfig &changed);

    DeviceConfig config_;
    std::function<void(const DeviceConfig &)> onChange_;
    QLineEdit *name_;
    QLabel *model_;
    QLineEdit *resolution_;
    QLineEdit *port_;
    QCheckBox *invisibleDesktop_;
    QDoubleSpinBox *pointerSpeed_ = nullptr;
};

} // namespace lumarient
