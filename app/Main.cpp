// SPDX-License-Identifier: MIT
// The main window: layout, menu tree, creation handler, device choice, help
// boxes, credits. The page view and Load/Save As handlers live in image/,
// the device operations in MainOperations.cpp.
#include "Main.h"

#include "ALed.h"
#include "Adapter.h"
#include "AdapterSettings.h"
#include "DeviceCatalogue.h"
#include "ErrorReport.h"
#include "Feedback.h"
#include "FormStyle.h"
#include "HelpTexts.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "HexText.h"
#include "MainOperations.h"
#include "Options.h"
#include "Panel.h"
#include "ScrollText.h"
#include "Settings.h"
#include "SharedOptions.h"
#include "StringGrid.h"
#include "TypeChooser.h"
#include "TypeReach.h"
#include "Unit1.h"
#include "UpDown.h"
#include "about.h"
#include "numedit.h"

#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace kavoda {

const QString TMainForm::kCaption = QStringLiteral("  Kavoda programmer by Kavoda contributors 1998");

namespace {

using Handler = void (TMainForm::*)();

struct MenuItemDef {
    const char* caption;
    Handler handler;
};

// One entry of the menu bar: a command of its own, or a drop-down whose
// entries are listed here or, for the device menus, are the catalogue's.
struct MenuDef {
    const char* title;
    Handler command;
    std::vector<MenuItemDef> items;
    bool fromCatalogue;
    bool trailingSeparator;
};

const std::vector<MenuDef>& menuTable()
{
    static const std::vector<MenuDef> table = {
        {"&File",
         nullptr,
         {{"&Load", &TMainForm::File21Click},
          {"Save &As...", &TMainForm::Save1Click},
          {"&Exit", &TMainForm::Exit2Click}},
         false,
         false},
        {"&Device 24C...", nullptr, {}, true, true},
        {"De&vice SDA...", nullptr, {}, true, false},
        {"Device &Other...", &TMainForm::DeviceOtherClick, {}, false, false},
        {"&Setup", &TMainForm::Setup1Click, {}, false, false},
        {"&About", &TMainForm::About1Click, {}, false, false},
        {"&Help",
         nullptr,
         {{"Device 24C", &TMainForm::Device24C1Click},
          {"Device SDA", &TMainForm::DeviceSDA2Click},
          {"Setup", &TMainForm::Setup2Click},
          {"R/W", &TMainForm::RW1Click},
          {"Edit", &TMainForm::Edit2Click},
          {"Schematic diagram", &TMainForm::Schematicdiagram1Click}},
         false,
         false},
    };
    return table;
}

// The catalogue names each type's handler; these are the methods behind
// the names.
#define KAVODA_DEVICE_HANDLER(name) std::pair<std::string_view, Handler>{#name, &TMainForm::name}
constexpr std::pair<std::string_view, Handler> kDeviceHandlers[] = {
    KAVODA_DEVICE_HANDLER(N24c021Click),  KAVODA_DEVICE_HANDLER(N24c041Click),
    KAVODA_DEVICE_HANDLER(N24c081Click),  KAVODA_DEVICE_HANDLER(N24c161Click),
    KAVODA_DEVICE_HANDLER(SDA35261Click), KAVODA_DEVICE_HANDLER(SDA35461Click),
    KAVODA_DEVICE_HANDLER(SDA35861Click),
};
#undef KAVODA_DEVICE_HANDLER

Handler deviceHandler(std::string_view name)
{
    for (const auto& [handlerName, handler] : kDeviceHandlers) {
        if (handlerName == name)
            return handler;
    }
    throw std::logic_error("no handler for catalogue entry " + std::string(name));
}

QString toQString(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

// A LED as the window places it; its other properties keep their defaults,
// so it blinks while lit.
TALed* addLed(QWidget* parent, const char* name, QRect geometry, TColor falseColor, int interval)
{
    auto* led = new TALed(parent);
    led->setObjectName(QLatin1String(name));
    led->setGeometry(geometry);
    led->setFalseColor(falseColor);
    led->setInterval(interval);
    return led;
}

void setupHexGrid(THexGrid* grid, int cols, int rows, int cellWidth, int cellHeight,
                  TColor background, TColor text)
{
    grid->setColumnCount(cols);
    grid->setRowCount(rows);
    grid->setDefaultColWidth(cellWidth);
    grid->setDefaultRowHeight(cellHeight);
    grid->setColor(background);
    grid->setFontColor(text);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

StoredType guardedTypeSetting()
{
    StoredType type;
    guarded([&] { type = loadTypeSetting(); });
    return type;
}

QString hex(int value, int digits)
{
    return QString::fromLatin1(hexNumber(static_cast<std::uint32_t>(value), digits).c_str());
}

} // namespace

TMainForm::TMainForm(const PortOptions& options, QWidget* parent)
    : QMainWindow(parent)
    , m_portSession(std::make_unique<PortSession>(options))
    , m_operations(std::make_unique<Operations>(*m_portSession))
{
    setObjectName(QStringLiteral("MainForm"));
    // The adapter: the command line's, else the settings file's [Adapter]
    // section, else a CH341A on a computer without a parallel port, else the
    // parallel port. The operations start on the command line's.
    const AdapterChoice adapter = resolveAdapter(options, adapterForWindow(options));
    if (!(adapter == resolveAdapter(options)))
        setDeviceBus(makeDeviceBus(*m_portSession, adapter));
    m_adapter = adapter;
    m_baseCaption = kCaption + simulationMarker(options) + adapterMarker(adapter);
    setWindowTitle(m_baseCaption);
    setWindowIcon(programIcon());
    setFont(sansFont(11));
    setOuterSize(this, QSize(640, 490));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    createGrids(client);
    createEditGroup(client);
    createDeviceGroup(client);
    createCredits(client);
    createMenus();
    createCompareMenu();

    Timer1 = new QTimer(this);
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, slot([this] { Timer1Timer(); }));

    createKeys();
    FormCreate();
}

TMainForm::~TMainForm() = default;

QLabel* TMainForm::addLabel(QWidget* parent, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void TMainForm::createGrids(QWidget* client)
{
    HexGrid3 = new THexGrid(client);
    HexGrid3->setObjectName(QStringLiteral("HexGrid3"));
    setupHexGrid(HexGrid3, 16, 1, 16, 16, clBlack, clRed);
    HexGrid3->setEditable(false);
    HexGrid3->setGeometry(64, 8, 276, 19);
    // The label grids only show where the selected byte is: the keyboard
    // belongs to the byte grid, which the first in the tab order would
    // otherwise lose to the column labels.
    HexGrid3->setFocusPolicy(Qt::NoFocus);

    HexGrid2 = new THexGrid(client);
    HexGrid2->setObjectName(QStringLiteral("HexGrid2"));
    setupHexGrid(HexGrid2, 1, 16, 32, 16, clBlack, clRed);
    HexGrid2->setGeometry(24, 32, 37, 281);
    HexGrid2->setFocusPolicy(Qt::NoFocus);

    HexGrid1 = new THexGrid(client);
    HexGrid1->setObjectName(QStringLiteral("HexGrid1"));
    setupHexGrid(HexGrid1, 16, 16, 16, 16, clInfoBk, clBlack);
    HexGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    HexGrid1->setGeometry(64, 32, 276, 281);
    // The first cell is current from the start, unselected, so taking the
    // focus selects nothing and leaves the offset fields as they are.
    HexGrid1->selectionModel()->setCurrentIndex(HexGrid1->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    connect(HexGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) {
                guarded([&] { HexGrid1SelectCell(column, row); });
            });
    HexGrid1->setFocus();

    // Bytes as the PC's own characters: code page 437 in a font that has a
    // glyph for every one of them.
    StringGrid2 = new StringGrid(16, 16, client);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    QFont charFont(QStringLiteral("DejaVu Sans Mono"));
    charFont.setStyleHint(QFont::Monospace);
    charFont.setPixelSize(12);
    StringGrid2->setFont(charFont);
    StringGrid2->setCellSize(13, 13);
    setTextColors(StringGrid2, clInfoBk, clBlack);
    StringGrid2->setGeometry(376, 8, 233, 233);
}

void TMainForm::createEditGroup(QWidget* client)
{
    GroupBox1 = new QGroupBox(QStringLiteral("Edit"), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(24, 320, 321, 113);
    setFontColor(GroupBox1, clMaroon);

    addLabel(GroupBox1, QStringLiteral("Next view"), 16, 16);
    Edit1 = new QLineEdit(QStringLiteral("0"), GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(16, 36, 49, 21);

    UpDown1 = new UpDown(GroupBox1);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setGeometry(72, 24, 25, 33);
    UpDown1->setRange(0, kShortImagePages);
    UpDown1->setPosition(0);
    UpDown1->setWrap(false);
    connect(UpDown1, &UpDown::Click, this, slot([this] { UpDown1Click(); }));
    connect(Edit1, &QLineEdit::returnPressed, this, slot([this] { goToTypedPage(); }));
    PageCount = new QLabel(GroupBox1);
    PageCount->setObjectName(QStringLiteral("PageCount"));
    PageCount->setGeometry(16, 58, 96, 16);

    addLabel(GroupBox1, QStringLiteral("Offset"), 112, 32);
    addLabel(GroupBox1, QStringLiteral("Dec."), 160, 16);
    numedit3 = new Tnumedit(GroupBox1);
    numedit3->setObjectName(QStringLiteral("numedit3"));
    numedit3->setText(QStringLiteral("0"));
    numedit3->setReadOnly(true);
    numedit3->setGeometry(144, 32, 49, 21);

    addLabel(GroupBox1, QStringLiteral("Hex"), 232, 16);
    hexedit1 = new Thexedit(GroupBox1);
    hexedit1->setObjectName(QStringLiteral("hexedit1"));
    hexedit1->setText(QStringLiteral("0"));
    hexedit1->setGeometry(224, 32, 49, 21);
    hexedit1->setToolTip(QStringLiteral("Type an address and press Enter to go to it (Ctrl+G)"));
    connect(hexedit1, &QLineEdit::returnPressed, this, slot([this] { goToTypedAddress(); }));

    addLabel(GroupBox1, QStringLiteral("End view"), 16, 80);
    ALed1 = addLed(GroupBox1, "ALed1", {72, 80, 15, 15}, rgbColor(128, 0, 64), 200);
    ALed1->setTrueColor(clRed);

    addLabel(GroupBox1, QStringLiteral("Edit Enabled"), 104, 80);
    ALed2 = addLed(GroupBox1, "ALed2", {176, 80, 15, 15}, rgbColor(0, 64, 0), 300);

    ConfirmBtn = new QPushButton(QStringLiteral("Edit Confirm"), GroupBox1);
    ConfirmBtn->setObjectName(QStringLiteral("ConfirmBtn"));
    ConfirmBtn->setGeometry(200, 72, 75, 25);
    connect(ConfirmBtn, &QPushButton::clicked, this, slot([this] { ConfirmBtnClick(); }));
}

void TMainForm::createDeviceGroup(QWidget* client)
{
    GroupBox2 = new QGroupBox(QStringLiteral("R/W "), client);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(376, 240, 233, 193);
    setFontColor(GroupBox2, clBlue);
    // Locked until a device type is chosen.
    GroupBox2->setEnabled(false);

    addLabel(GroupBox2, QStringLiteral("Device Selected"), 16, 16);
    ALed3 = addLed(GroupBox2, "ALed3", {112, 16, 15, 15}, rgbColor(0, 64, 64), 100);

    Panel1 = new Panel(GroupBox2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(136, 8, 89, 25);
    Panel1->setColor(clBlack);
    Panel1->setBevelOuter(Panel::BevelLowered);
    Panel1->setBevelWidth(3);
    QFont bold = font();
    bold.setBold(true);
    Panel1->setFont(bold);
    setFontColor(Panel1, clLime);

    Meter1 = new TNeatoMeter(GroupBox2);
    Meter1->setObjectName(QStringLiteral("Meter1"));
    Meter1->setGeometry(16, 40, 209, 25);
    Meter1->setBackColor(clBlack);
    Meter1->setForeColor(clLime);
    setFontColor(Meter1, clWhite);
    Meter1->setBevelDepth(4);
    Meter1->setUseFontColor(true);
    Meter1->setCompleted(0);
    Meter1->setPercent(0);

    const auto blueField = [this](const char* name, int left, int top, int width) {
        auto* field = new Thexedit(GroupBox2);
        field->setObjectName(QLatin1String(name));
        field->setGeometry(left, top, width, 21);
        setTextColors(field, clBlue, clWhite);
        return field;
    };
    m_portLabel = addLabel(GroupBox2, QStringLiteral("Port"), 8, 79);
    hexedit4 = blueField("hexedit4", 40, 72, 33);
    addLabel(GroupBox2, QStringLiteral("Address"), 83, 76);
    hexedit2 = blueField("hexedit2", 128, 68, 33);
    // Upper case: whatever is typed shows in capitals.
    connect(hexedit2, &QLineEdit::textEdited, hexedit2, slot([this] {
                const int cursor = hexedit2->cursorPosition();
                hexedit2->setText(hexedit2->text().toUpper());
                hexedit2->setCursorPosition(cursor);
            }));
    addLabel(GroupBox2, QStringLiteral("Data"), 170, 76);
    hexedit3 = blueField("hexedit3", 200, 68, 25);

    const auto button = [this](const char* name, const QString& text, QRect geometry,
                               Handler handler) {
        auto* b = new QPushButton(text, GroupBox2);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        connect(b, &QPushButton::clicked, this, slot([this, handler] { (this->*handler)(); }));
        return b;
    };
    BitBtn2 = button("BitBtn2", QStringLiteral("Erase Device"), {8, 96, 105, 25},
                     &TMainForm::BitBtn2Click);
    Writebtn = button("Writebtn", QStringLiteral("Write Device"), {120, 96, 105, 25},
                      &TMainForm::WriteBtnClick);
    BitBtn4 = button("BitBtn4", QStringLiteral("Fill Device 00"), {8, 128, 105, 25},
                     &TMainForm::BitBtn4Click);
    BitBtn6 = button("BitBtn6", QStringLiteral("Fill Device FF"), {120, 128, 105, 25},
                     &TMainForm::BitBtn6Click);
    ReadBtn = button("ReadBtn", QStringLiteral("Read Device"), {8, 160, 217, 25},
                     &TMainForm::ReadBtnClick);
}

void TMainForm::createKeys()
{
    // Page Down shows the next page, Page Up the one before, wherever the
    // focus is in the window: the arrows take no focus of their own.
    const auto pageKey = [this](Qt::Key key, UpDown::Button arrow) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, arrow] {
            // As the arrows: only while the "Edit" group is usable.
            if (GroupBox1->isEnabled() && UpDown1->isEnabled())
                UpDown1->click(arrow);
        });
    };
    pageKey(Qt::Key_PageDown, UpDown::Up);
    pageKey(Qt::Key_PageUp, UpDown::Down);

    // Go to an address: the hex offset field takes it.
    auto* goTo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    goTo->setContext(Qt::WindowShortcut);
    connect(goTo, &QShortcut::activated, this, [this] {
        if (GroupBox1->isEnabled()) {
            hexedit1->setFocus();
            hexedit1->selectAll();
        }
    });

    // Esc stops a running operation; otherwise it is left to the controls
    // (the cell editor takes it back).
    m_stopKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_stopKey->setContext(Qt::WindowShortcut);
    m_stopKey->setEnabled(false);
    connect(m_stopKey, &QShortcut::activated, this, slot([this] { stopKeyPressed(); }));
}

void TMainForm::createCredits(QWidget* client)
{
    // Created after the grids, so it lies on top of StringGrid2.
    Panel3 = new Panel(client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(376, 8, 233, 233);
    Panel3->setColor(clBlack);
    Panel3->setBevelOuter(Panel::BevelLowered);
    Panel3->setBevelWidth(5);

    ScrollText1 = new TScrollText(Panel3);
    ScrollText1->setObjectName(QStringLiteral("ScrollText1"));
    ScrollText1->setGeometry(16, 64, 200, 113);
    ScrollText1->setTextStyle(tsRaised);
    ScrollText1->setSteps(80);
    ScrollText1->setSpeed(100);
    ScrollText1->setColor(clBlack);
    ScrollText1->setContinuous(false);
    ScrollText1->textFont()->setName(QStringLiteral("Arial"));
    ScrollText1->textFont()->setPixelHeight(21);
    ScrollText1->textFont()->setColor(clBlue);
    ScrollText1->setAlignment(taCenter);
    ScrollText1->setItems({QStringLiteral("Kavoda Programmer"), QStringLiteral("By"),
                           QStringLiteral("Kavoda contributors"), QStringLiteral("1998"),
                           QStringLiteral("E-mail"), QStringLiteral("info@example.org")});
    ScrollText1->setScrollDirection(sdBottomToTop);
    connect(ScrollText1, &TCustomScrollText::OnEnd, this,
            [this](TCustomScrollText* sender) { guarded([&] { ScrollText1End(sender); }); });
}

void TMainForm::createMenus()
{
    QMenuBar* bar = menuBar();
    for (const MenuDef& def : menuTable()) {
        const QString title = QString::fromLatin1(def.title);
        if (def.command) {
            QAction* action = bar->addAction(title);
            const Handler handler = def.command;
            connect(action, &QAction::triggered, this, slot([this, handler] { (this->*handler)(); }));
            continue;
        }
        std::vector<std::pair<QString, Handler>> items;
        if (def.fromCatalogue) {
            for (const CatalogueEntry& entry : kCatalogue) {
                if (toQString(entry.menu) == title)
                    items.emplace_back(toQString(entry.caption), deviceHandler(entry.handler));
            }
        } else {
            for (const MenuItemDef& item : def.items)
                items.emplace_back(QString::fromLatin1(item.caption), item.handler);
        }
        QMenu* menu = bar->addMenu(title);
        menu->setSeparatorsCollapsible(false); // keep the one after "24C16"
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                menu->addSeparator();
            QAction* action = menu->addAction(items[i].first);
            const Handler handler = items[i].second;
            connect(action, &QAction::triggered, this, slot([this, handler] { (this->*handler)(); }));
        }
        if (def.trailingSeparator)
            menu->addSeparator();
    }
}

QAction* TMainForm::menuAction(const QString& caption) const
{
    for (QAction* top : menuBar()->actions()) {
        if (top->text() == caption)
            return top;
        if (QMenu* menu = top->menu()) {
            for (QAction* action : menu->actions()) {
                if (action->text() == caption)
                    return action;
            }
        }
    }
    return nullptr;
}

// ---- creation and settings

void TMainForm::FormCreate()
{
    ProgramVersion = kProgramVersion;
    FastTiming = 1;
    // A settings file that cannot be written is reported, and the window is
    // still set up in full: a half-initialised window would show stale grids
    // and leave the device state unset.
    guarded([this] {
        LoadSettings();
        SaveSettings();
    });
    DeviceType = 1;
    LastBlock = 0;
    ImageLoaded = false;
    ResetViews();
    // The type chosen last, when the file keeps one the adapter drives.
    const StoredType remembered = guardedTypeSetting();
    const ChipType* row = remembered.type.empty() ? nullptr : findChip(remembered.type);
    if (!row || !reaches(m_adapter.kind, *row))
        return;
    ChipType chip = *row;
    if (chooseChipType(*row, remembered.type, remembered.org, remembered.byteOrder, chip).empty())
        chooseType(chip, false);
    else
        m_unsettledType = row;
}

void TMainForm::LoadSettings()
{
    loadSettings();
    // The port's address, or the adapter used in its place.
    const QString adapterText = QString::fromStdString(adapterFieldText(m_adapter));
    if (adapterText.isEmpty()) {
        hexedit4->setText(hex(PortBase, 4));
        return;
    }
    // The adapter's name needs the label's room too; it names itself.
    m_portLabel->hide();
    hexedit4->setGeometry(8, 72, 73, 21);
    QFont small = hexedit4->font();
    if (small.pixelSize() <= 0)
        small.setPixelSize(QFontInfo(small).pixelSize());
    const int room = hexedit4->width() - 6;
    while (QFontMetrics(small).horizontalAdvance(adapterText) > room && small.pixelSize() > 7)
        small.setPixelSize(small.pixelSize() - 1);
    hexedit4->setFont(small);
    hexedit4->setText(adapterText);
    hexedit4->setCursorPosition(0);
    hexedit4->setToolTip(adapterText);
}

void TMainForm::SaveSettings()
{
    saveSettings();
}

// ---- menu handlers

void TMainForm::Exit2Click()
{
    close();
}

void TMainForm::chooseDevice(const char* handler)
{
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.handler == handler) {
            chooseType(entry);
            return;
        }
    }
    throw std::logic_error(std::string("no catalogue entry for ") + handler);
}

const ChipType* TMainForm::currentChip() const
{
    return m_chosenChip ? m_chosenChip : findDeviceByType(DeviceType);
}

void TMainForm::chooseType(const ChipType& chip, bool remember)
{
    if (operationRunning()) {
        deferDeviceChoice(chip);
        return;
    }
    applyType(chip);
    GroupBox2->setEnabled(true);
    ALed3->setValue(true);
    // A menu choice goes into a file only when it already keeps one.
    if (remember)
        guarded([&] { saveTypeSetting(chip, chip.inWindow()); });
}

void TMainForm::applyType(const ChipType& chip)
{
    m_unsettledType = nullptr;
    if (chip.inWindow()) {
        SelectDevice(chip);
        m_chosenChip = nullptr;
    } else if (chip.isMicrowire()) {
        // DeviceType and LastBlock keep the last window type: they have no
        // value for the others.
        m_microwireType = chip;
        m_chosenChip = &*m_microwireType;
    } else {
        m_chosenChip = findChip(chip.caption);
    }
    Panel1->setCaption(QString::fromStdString(typePanelCaption(*currentChip())));
    Panel1->setToolTip(chip.isMicrowire() ? QString::fromStdString(std::string(chip.caption) + ": " +
                                                                   organisationText(chip))
                                          : QString());
    showCaption();
}

void TMainForm::showCaption()
{
    setWindowTitle(m_chosenChip ? m_baseCaption + QStringLiteral(" - ") +
                                      QString::fromStdString(typeShownText(*m_chosenChip))
                                : m_baseCaption);
}

void TMainForm::DeviceOtherClick()
{
    // The default DeviceType is no choice: nothing is selected before one.
    const ChipType* shown = GroupBox2->isEnabled() ? currentChip() : m_unsettledType;
    // A Microwire row selected: its lines are probed, else the I2C bus.
    TypeChooser chooser(m_adapter.kind, shown, [this](const ChipType* selected) {
        if (m_detectHook)
            return m_detectHook(selected);
        if (selected && selected->isMicrowire())
            return detectMicrowire(busFor(Transport::Lines, selected));
        return detectChip(busFor(Transport::I2c, nullptr));
    }, this);
    if (m_chooserHook)
        m_chooserHook(chooser);
    else
        chooser.exec();
    if (chooser.result() == QDialog::Accepted) {
        if (const std::optional<ChipType> chip = chooser.chosenType())
            chooseType(*chip);
    }
}

void TMainForm::N24c021Click() { chooseDevice(__func__); }
void TMainForm::N24c041Click() { chooseDevice(__func__); }
void TMainForm::N24c081Click() { chooseDevice(__func__); }
void TMainForm::N24c161Click() { chooseDevice(__func__); }
void TMainForm::SDA35261Click() { chooseDevice(__func__); }
void TMainForm::SDA35461Click() { chooseDevice(__func__); }
void TMainForm::SDA35861Click() { chooseDevice(__func__); }

void TMainForm::Setup1Click()
{
    if (m_setupForm)
        m_setupForm->exec();
}

void TMainForm::About1Click()
{
    ShowAboutBox(ProgramVersion);
}

void TMainForm::Device24C1Click() { showHelpBox(this, helpBox(HelpTopic::Device24C)); }
void TMainForm::DeviceSDA2Click() { showHelpBox(this, helpBox(HelpTopic::DeviceSDA)); }
void TMainForm::Setup2Click() { showHelpBox(this, helpBox(HelpTopic::Setup)); }
void TMainForm::RW1Click() { showHelpBox(this, helpBox(HelpTopic::ReadWrite)); }
void TMainForm::Edit2Click() { showHelpBox(this, helpBox(HelpTopic::Edit)); }

void TMainForm::Schematicdiagram1Click()
{
    if (m_schematicForm)
        m_schematicForm->exec();
}

void TMainForm::ScrollText1End(TCustomScrollText*)
{
    Panel3->hide();
}

} // namespace kavoda
