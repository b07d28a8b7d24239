#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace lumarient {

class DeviceConfigRow;
class DeviceManager;

// "Lumarient Settings": the saved phones, edited in place. Made once and kept;
// closing only hides it.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(DeviceManager &manager, QWidget *parent = nullptr);

    // Brings the window to the front, showing it if hidden.
    void present();

    QList<DeviceConfigRow *> rows() const { return rows_; }

private:
    void rebuild();

    DeviceManager &manager_;
    QLabel *emptyText_;
    QLabel *removalNote_;
    QVBoxLayout *rowsLayout_;
    QList<DeviceConfigRow *> rows_;
};

} // namespace lumarient
