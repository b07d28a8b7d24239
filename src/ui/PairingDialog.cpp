#include "ui/PairingDialog.h"

#include "ui/PairingSheet.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/FixedWidth.h"

namespace lumarient {
namespace {

QLabel *label(const QString &text, QWidget *parent, qreal scale = 1.0, bool bold = false, bool quiet = false)
{
    QLabel *made = richLabel(text, parent);
    scaleFont(made, scale, bold);
    return quiet ? secondary(made) : made;
}

} // namespace

PairingDialog::PairingDialog(DeviceManager &manager, WirelessConnector &wireless, QWidget *parent)
    : QDialog(parent), sheet_(new PairingSheet(manager, wireless, this)), qr_(new QLabel(this)),
      candidates_(new QListWidget(this)), searching_(new QWidget(this)), code_(new QLineEdit(this)),
      pair_(new QPushButton(QStringLiteral("Pair"), this)), error_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Connect Wirelessly"));
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);

    layout->addWidget(label(QStringLiteral("Connect Wirelessly"), this, 1.25, true));
    layout->addWidget(label(QStringLiteral("On the phone, open **Settings → System → Developer options → Wireless "
                                           "debugging**, then tap **Pair device with QR code** or **Pair device "
                                           "with pairing code**. Keep that pairing screen open — your phone only "
                                           "appears here while it's showing."),
                            this, 0.92, false, true));

    layout->addWidget(label(QStringLiteral("Scan this QR code"), this, 0.95, true));
    layout->addWidget(label(QStringLiteral("Tap **Pair device with QR code** on the phone."), this, 0.85, false, true));
    qr_->setFixedSize(160, 160);
    qr_->setScaledContents(false);
    layout->addWidget(qr_);

    layout->addWidget(label(QStringLiteral("Or enter a pairing code"), this, 0.95, true));
    layout->addWidget(
        label(QStringLiteral("Tap **Pair device with pairing code** on the phone."), this, 0.85, false, true));
    candidates_->setFixedHeight(60);
    candidates_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(candidates_);
    auto *searchingLayout = new QVBoxLayout(searching_);
    searchingLayout->setContentsMargins(0, 0, 0, 0);
    auto *busyRow = new QHBoxLayout;
    auto *spinner = new QProgressBar(searching_);
    spinner->setRange(0, 0);
    spinner->setFixedSize(36, 8);
    spinner->setTextVisible(false);
    busyRow->addWidget(spinner);
    busyRow->addWidget(label(QStringLiteral("Looking for phones…"), searching_));
    busyRow->addStretch(1);
    searchingLayout->addLayout(busyRow);
    searchingLayout->addWidget(label(QStringLiteral("No phone yet? Make sure the pairing-code screen is open on the "
                                                    "phone and it's on the same Wi-Fi."),
                                     searching_, 1.0, false, true));
    layout->addWidget(searching_);

    auto *codeRow = new QHBoxLayout;
    codeRow->addWidget(new QLabel(QStringLiteral("Pairing code"), this));
    code_->setPlaceholderText(QStringLiteral("123456"));
    code_->setFixedWidth(100);
    codeRow->addWidget(code_);
    codeRow->addWidget(pair_);
    codeRow->addStretch(1);
    layout->addLayout(codeRow);

    QPalette red = error_->palette();
    red.setColor(QPalette::WindowText, QColor(0xc0, 0x1c, 0x28));
    error_->setPalette(red);
    error_->setWordWrap(true);
    scaleFont(error_, 0.85);
    layout->addWidget(error_);

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto *cancelRow = new QHBoxLayout;
    cancelRow->addStretch(1);
    cancelRow->addWidget(cancel);
    layout->addLayout(cancelRow);

    pair_->setDefault(true);
    connect(pair_, &QPushButton::clicked, sheet_, &PairingSheet::pair);
    connect(cancel, &QPushButton::clicked, sheet_, &PairingSheet::cancel);
    connect(code_, &QLineEdit::textEdited, sheet_, &PairingSheet::setCode);
    connect(candidates_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem *> selected = candidates_->selectedItems();
        sheet_->setSelectedID(selected.isEmpty()
                                  ? std::nullopt
                                  : std::optional<QString>(selected.first()->data(Qt::UserRole).toString()));
    });
    connect(sheet_, &PairingSheet::changed, this, &PairingDialog::showState);
    connect(sheet_, &PairingSheet::closeRequested, this, &QDialog::accept);

    sheet_->shown();
    showState();
}

void PairingDialog::showState()
{
    if (const std::optional<QImage> &image = sheet_->qrImage()) {
        // Hard module edges: scaled without smoothing to the shown size.
        qr_->setPixmap(QPixmap::fromImage(image->scaled(160, 160, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    } else {
        qr_->clear();
    }

    const QList<DiscoveredService> candidates = sheet_->candidates();
    QStringList ids;
    for (const DiscoveredService &service : candidates)
        ids.append(service.id);
    QStringList shownIDs;
    for (int row = 0; row < candidates_->count(); ++row)
        shownIDs.append(candidates_->item(row)->data(Qt::UserRole).toString());
    if (ids != shownIDs) {
        const QSignalBlocker block(candidates_);
        candidates_->clear();
        for (const DiscoveredService &service : candidates) {
            auto *item = new QListWidgetItem(service.name, candidates_);
            item->setData(Qt::UserRole, service.id);
            if (sheet_->selectedID() == service.id)
                item->setSelected(true);
        }
    }
    candidates_->setVisible(!candidates.isEmpty());
    searching_->setVisible(candidates.isEmpty());

    if (code_->text() != sheet_->code())
        code_->setText(sheet_->code());
    pair_->setEnabled(sheet_->canPair());
    error_->setText(sheet_->errorText().value_or(QString()));
    error_->setVisible(sheet_->errorText().has_value());
    fitToWidth(*this, 460);
}

} // namespace lumarient
