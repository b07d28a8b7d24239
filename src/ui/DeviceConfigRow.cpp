#include "ui/DeviceConfigRow.h"

#include "ui/ConfigValidation.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumarient {
namespace {

void setUnlessEditing(QLineEdit *field, const QString &text)
{
    if (!field->hasFocus() && field->text() != text)
        field->setText(text);
}

} // namespace

DeviceConfigRow::DeviceConfigRow(const DeviceConfig &config, std::function<void(const DeviceConfig &)> onChange,
                                 std::function<void()> onRemove, QWidget *parent)
    : QWidget(parent), config_(config), onChange_(std::move(onChange)), name_(new QLineEdit(this)),
      model_(new QLabel(this)), resolution_(new QLineEdit(this)), port_(new QLineEdit(this)),
      invisibleDesktop_(new QCheckBox(QStringLiteral("Invisible desktop (root)"), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    name_->setPlaceholderText(QStringLiteral("Name"));
    QFont headline = name_->font();
    headline.setBold(true);
    name_->setFont(headline);
    auto *remove = new QToolButton(this);
    remove->setIcon(QIcon::fromTheme(QStringLiteral("user-trash")));
    if (remove->icon().isNull())
        remove->setText(QStringLiteral("Remove"));
    remove->setToolTip(QStringLiteral("Remove this device"));
    remove->setAccessibleName(QStringLiteral("Remove this device"));
    auto *nameLine = new QHBoxLayout;
    nameLine->addWidget(name_, 1);
    nameLine->addWidget(remove);
    layout->addLayout(nameLine);

    layout->addWidget(model_);

    resolution_->setPlaceholderText(QStringLiteral("2560x1600/240"));
    resolution_->setFixedWidth(130);
    port_->setPlaceholderText(QStringLiteral("5555"));
    port_->setFixedWidth(64);
    port_->setMaxLength(5);
    auto *fields = new QHBoxLayout;
    fields->addWidget(new QLabel(QStringLiteral("Display"), this));
    fields->addWidget(resolution_);
    fields->addSpacing(16);
    fields->addWidget(new QLabel(QStringLiteral("Wi-Fi port"), this));
    fields->addWidget(port_);
    fields->addStretch(1);
    layout->addLayout(fields);

    invisibleDesktop_->setToolTip(QStringLiteral("Offers the virtual-display variant with nothing shown on the phone "
                                                 "screen. Requires the rooted device restriction override."));
    layout->addWidget(invisibleDesktop_);

    show(config);

    connect(remove, &QToolButton::clicked, this, [onRemove = std::move(onRemove)] { onRemove(); });
    connect(name_, &QLineEdit::textEdited, this, [this](const QString &text) {
        DeviceConfig changed = config_;
        changed.name = text;
        commit(changed);
    });
    connect(resolution_, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (!isValidResolution(text))
            return;
        DeviceConfig changed = config_;
        changed.resolution = text;
        commit(changed);
    });
    connect(resolution_, &QLineEdit::editingFinished, this, [this] { resolution_->setText(config_.resolution); });
    connect(port_, &QLineEdit::textEdited, this, [this](const QString &text) {
        const std::optional<int> port = parseWifiPort(text);
        if (!port)
            return;
        DeviceConfig changed = config_;
        changed.wifiPort = *port;
        commit(changed);
    });
    connect(port_, &QLineEdit::editingFinished, this, [this] { port_->setText(QString::number(config_.wifiPort)); });
    connect(invisibleDesktop_, &QCheckBox::toggled, this, [this](bool on) {
        if (on == config_.supportsVirtualDisplay)
            return;
        DeviceConfig changed = config_;
        changed.supportsVirtualDisplay = on;
        commit(changed);
    });
}

void DeviceConfigRow::show(const DeviceConfig &config)
{
    config_ = config;
    setUnlessEditing(name_, config.name);
    model_->setText(QStringLiteral("Model: ") + config.modelPattern);
    setUnlessEditing(resolution_, config.resolution);
    setUnlessEditing(port_, QString::number(config.wifiPort));
    invisibleDesktop_->setChecked(config.supportsVirtualDisplay);
}

void DeviceConfigRow::addPointerSpeed(double speed, double minimum, double maximum,
                                      std::function<void(double)> onChange)
{
    pointerSpeed_ = new QDoubleSpinBox(this);
    pointerSpeed_->setRange(minimum, maximum);
    pointerSpeed_->setSingleStep(0.25);
    pointerSpeed_->setDecimals(2);
    pointerSpeed_->setSuffix(QStringLiteral("×"));
    pointerSpeed_->setValue(speed);
    pointerSpeed_->setToolTip(QStringLiteral("How fast the pointer moves on the phone with Keyboard & Mouse Only"));
    auto *line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("Pointer speed on the phone"), this));
    line->addWidget(pointerSpeed_);
    line->addStretch(1);
    static_cast<QVBoxLayout *>(layout())->addLayout(line);
    connect(pointerSpeed_, &QDoubleSpinBox::valueChanged, this, std::move(onChange));
}

void DeviceConfigRow::commit(const DeviceConfig &changed)
{
    config_ = changed;
    onChange_(changed);
}

} // namespace lumarient
