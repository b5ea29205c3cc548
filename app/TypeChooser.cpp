// SPDX-License-Identifier: MIT
#include "TypeChooser.h"

#include "ChipTable.h"
#include "TypeReach.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kavoda {

namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<int>(s.size()));
}

constexpr int kChipRole = Qt::UserRole;

const ChipType* chipOf(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    const QVariant index = item->data(0, kChipRole);
    return index.isValid() ? &kChipTable[index.toUInt()] : nullptr;
}

} // namespace

QString sizeText(std::int64_t bytes)
{
    if (bytes >= (1 << 20) && bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return QStringLiteral("%1 bytes").arg(bytes);
}

TypeChooser::TypeChooser(AdapterKind adapter, const ChipType* current,
                         std::function<DetectOutcome(const ChipType*)> detect, QWidget* parent)
    : QDialog(parent), m_detect(std::move(detect))
{
    setWindowTitle(QStringLiteral("Device Type"));
    resize(460, 420);

    search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("search"));
    search->setPlaceholderText(QStringLiteral("Search types"));
    search->setClearButtonEnabled(true);

    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("list"));
    list->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Size"), QStringLiteral("Page"),
                           QString()});
    list->setRootIsDecorated(true);
    list->setUniformRowHeights(true);

    // Families in the order the table first names them, each by size.
    std::vector<std::size_t> order(kChipTable.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
        return kChipTable[a].size < kChipTable[b].size;
    });
    std::vector<std::pair<Family, QTreeWidgetItem*>> groups;
    for (std::size_t i = 0; i < kChipTable.size(); ++i) {
        const ChipType& chip = kChipTable[i];
        if (std::none_of(groups.begin(), groups.end(),
                         [&](const auto& group) { return group.first == chip.family; })) {
            auto* group =
                new QTreeWidgetItem(list, {QString::fromStdString(familyTitle(chip.family))});
            group->setFlags(Qt::ItemIsEnabled);
            group->setFirstColumnSpanned(true);
            groups.emplace_back(chip.family, group);
        }
    }
    for (const std::size_t i : order) {
        const ChipType& chip = kChipTable[i];
        QTreeWidgetItem* group = nullptr;
        for (const auto& [family, item] : groups)
            if (family == chip.family)
                group = item;
        // A Microwire chip writes one word at a time, of one or two bytes.
        const QString page = chip.isMicrowire() ? QStringLiteral("1 word")
                             : chip.pageSize == 1 ? QStringLiteral("1 byte")
                                                  : QStringLiteral("%1 bytes").arg(chip.pageSize);
        auto* row = new QTreeWidgetItem(
            group, {text(chip.caption), sizeText(chip.size), page, QString()});
        row->setData(0, kChipRole, static_cast<uint>(i));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        const std::string why = unreachableReason(adapter, chip);
        if (!why.empty()) {
            row->setFlags(Qt::NoItemFlags);  // greyed, not selectable
            row->setText(3, QString::fromStdString(why));
            for (int column = 0; column < 4; ++column)
                row->setToolTip(column, QString::fromStdString(why));
        }
    }
    list->expandAll();
    for (int column = 0; column < 3; ++column)
        list->resizeColumnToContents(column);

    detectButton = new QPushButton(QStringLiteral("Detect"), this);
    detectButton->setObjectName(QStringLiteral("detect"));
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(detectButton, QDialogButtonBox::ActionRole);

    createOrganisation();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search);
    layout->addWidget(list, 1);
    auto* microwire = new QHBoxLayout;
    microwire->addWidget(organisation);
    microwire->addWidget(byteOrder, 1);
    layout->addLayout(microwire);
    layout->addWidget(status);
    layout->addWidget(buttons);

    connect(search, &QLineEdit::textChanged, this, &TypeChooser::filter);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &TypeChooser::selectionChanged);
    connect(list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (chipOf(item) && (item->flags() & Qt::ItemIsSelectable))
            tryAccept();
    });
    connect(detectButton, &QPushButton::clicked, this, &TypeChooser::detect);
    connect(buttons, &QDialogButtonBox::accepted, this, &TypeChooser::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    selectionChanged();
    if (select(current) && current->isMicrowire())
        setOrganisation(current->microwire.organisation, current->microwire.byteOrder);
    search->setFocus();
}

void TypeChooser::createOrganisation()
{
    // Nothing is checked before the user says how ORG is wired: a wrong
    // guess reads and writes every word wrongly.
    organisation = new QGroupBox(QStringLiteral("Organisation (ORG pin)"), this);
    organisation->setObjectName(QStringLiteral("organisation"));
    x8 = new QRadioButton(QStringLiteral("x8 (ORG to ground)"), organisation);
    x16 = new QRadioButton(QStringLiteral("x16 (ORG to VCC or open)"), organisation);
    auto* orgButtons = new QButtonGroup(organisation);
    orgButtons->addButton(x8);
    orgButtons->addButton(x16);
    auto* orgLayout = new QVBoxLayout(organisation);
    orgLayout->addWidget(x8);
    orgLayout->addWidget(x16);

    byteOrder = new QGroupBox(QStringLiteral("Byte order of x16 words in the image"), this);
    byteOrder->setObjectName(QStringLiteral("byteOrder"));
    bigEndian = new QRadioButton(QStringLiteral("Big-endian: high byte first (as the chip "
                                                "shifts them)"),
                                 byteOrder);
    littleEndian = new QRadioButton(QStringLiteral("Little-endian: low byte first"), byteOrder);
    bigEndian->setChecked(true);
    auto* orderLayout = new QVBoxLayout(byteOrder);
    orderLayout->addWidget(bigEndian);
    orderLayout->addWidget(littleEndian);

    connect(orgButtons, &QButtonGroup::buttonToggled, this, [this] {
        // The organisation is given: the word that asked for it goes.
        if (status->text() == m_refusal)
            status->clear();
        selectionChanged();
    });
}

void TypeChooser::setOrganisation(int organisationBits, ByteOrder order)
{
    // An exclusive group keeps one button checked; none is unchecked
    // only with the group open.
    QButtonGroup* group = x8->group();
    group->setExclusive(false);
    x8->setChecked(organisationBits == 8);
    x16->setChecked(organisationBits == 16);
    group->setExclusive(true);
    (order == ByteOrder::Little ? littleEndian : bigEndian)->setChecked(true);
    selectionChanged();
}

std::optional<ChipType> TypeChooser::chosenType() const
{
    const ChipType* row = chosen();
    if (!row)
        return std::nullopt;
    if (!row->isMicrowire())
        return *row;
    if (!x8->isChecked() && !x16->isChecked())
        return std::nullopt;
    return withOrganisation(*row, x16->isChecked() ? 16 : 8,
                            littleEndian->isChecked() ? ByteOrder::Little : ByteOrder::Big);
}

void TypeChooser::tryAccept()
{
    const ChipType* row = chosen();
    if (!row)
        return;
    if (chosenType()) {
        accept();
        return;
    }
    const QString why = QStringLiteral("Choose the organisation of the %1: x8 with its ORG pin "
                                       "to ground, x16 with ORG to VCC or open.")
                            .arg(text(row->caption));
    m_refusal = why;
    status->setText(why);
    QApplication::beep();
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    QToolTip::showText(ok->mapToGlobal(ok->rect().center()), why, ok);
}

QTreeWidgetItem* TypeChooser::rowOf(const QString& caption) const
{
    for (int g = 0; g < list->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = list->topLevelItem(g);
        for (int r = 0; r < group->childCount(); ++r) {
            if (group->child(r)->text(0).compare(caption, Qt::CaseInsensitive) == 0)
                return group->child(r);
        }
    }
    return nullptr;
}

const ChipType* TypeChooser::chosen() const
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.size() != 1 || !(selected.front()->flags() & Qt::ItemIsSelectable) ||
        selected.front()->isHidden())
        return nullptr;
    return chipOf(selected.front());
}

bool TypeChooser::select(const ChipType* chip)
{
    QTreeWidgetItem* row = chip ? rowOf(text(chip->caption)) : nullptr;
    if (!row || !(row->flags() & Qt::ItemIsSelectable))
        return false;
    if (row->isHidden())
        search->clear();
    list->setCurrentItem(row);
    row->setSelected(true);
    list->scrollToItem(row);
    return true;
}

void TypeChooser::detect()
{
    const DetectOutcome outcome = m_detect ? m_detect(chosen()) : DetectOutcome{};
    status->setText(outcome.evidence);
    if (outcome.chip && !select(outcome.chip))
        status->setText(outcome.evidence + QStringLiteral(" The adapter cannot drive it."));
    // The address width tells the organisation even where it leaves two rows.
    const ChipType* shown = chosen();
    if (outcome.organisation != 0 && shown && shown->isMicrowire())
        setOrganisation(outcome.organisation,
                        littleEndian->isChecked() ? ByteOrder::Little : ByteOrder::Big);
}

void TypeChooser::filter(const QString& typed)
{
    const QString wanted = typed.trimmed();
    // A maker's name for a row (93LC66B) finds it, and its suffix fixes
    // the organisation.
    const QByteArray name = wanted.toLatin1();
    const ChipType* named = wanted.isEmpty() ? nullptr : findChip({name.constData(), std::size_t(name.size())});
    QTreeWidgetItem* only = nullptr;
    int shownRows = 0;
    for (int g = 0; g < list->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = list->topLevelItem(g);
        int shown = 0;
        for (int r = 0; r < group->childCount(); ++r) {
            QTreeWidgetItem* row = group->child(r);
            const bool match = wanted.isEmpty() || row->text(0).contains(wanted, Qt::CaseInsensitive) ||
                               (named && chipOf(row) == named);
            row->setHidden(!match);
            if (match) {
                ++shown;
                if (row->flags() & Qt::ItemIsSelectable) {
                    only = shownRows == 0 ? row : nullptr;
                    ++shownRows;
                }
            }
        }
        group->setHidden(shown == 0);
    }
    // One reachable match left: it is the one meant, Enter takes it.
    if (only && shownRows == 1) {
        list->setCurrentItem(only);
        only->setSelected(true);
    }
    if (named && named->isMicrowire())
        if (const int fixed = organisationOfName({name.constData(), std::size_t(name.size())}))
            setOrganisation(fixed, littleEndian->isChecked() ? ByteOrder::Little : ByteOrder::Big);
    selectionChanged();
}

void TypeChooser::selectionChanged()
{
    const ChipType* row = chosen();
    buttons->button(QDialogButtonBox::Ok)->setEnabled(row != nullptr);
    const bool microwire = row && row->isMicrowire();
    organisation->setVisible(microwire);
    byteOrder->setVisible(microwire);
    byteOrder->setEnabled(x16->isChecked());
}

} // namespace kavoda
