// SPDX-License-Identifier: MIT
// The main window: the page grids, the credits panel, the "Edit" and "R/W "
// groups, the menus and the handlers every menu entry and button runs.
#pragma once

#include "ByteCompare.h"
#include "ChipTable.h"
#include "PortSession.h"
#include "RecordFile.h"
#include "Setup.h"
#include "TypeDetect.h"
#include "Adapter.h"
#include "WorkingImage.h"

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QFileDialog;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QShortcut;
class QTimer;

namespace kavoda {

class Panel;
class StringGrid;
class TALed;
class TCustomScrollText;
class TForm1;
class THexGrid;
class TNeatoMeter;
class TScrollText;
class Thexedit;
class Tnumedit;
class UpDown;
class DeviceBus;
class TypeChooser;
struct ChipType;
using CatalogueEntry = ChipType;

class TMainForm : public QMainWindow, public SettingsHost {
    Q_OBJECT
public:
    // Builds the window and runs its creation handler. options choose the
    // port the device operations will open (real or simulated).
    explicit TMainForm(const PortOptions& options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The dialogs the application object owns and the menus show.
    void setSetupForm(TSetupForm* form) { m_setupForm = form; }
    void setSchematicForm(TForm1* form) { m_schematicForm = form; }

    // The window's caption as designed, before any simulation marker.
    static const QString kCaption;

    // ---- creation and settings
    void FormCreate();
    void LoadSettings() override;
    void SaveSettings() override;

    // ---- the chosen type
    // The type the operations drive: a row of the chip table chosen beside
    // the device menus, else the menus' DeviceType; null before any choice.
    const ChipType* currentChip() const;
    // Chooses any row as the device menus choose theirs (a Microwire row
    // with its organisation and byte order, withOrganisation()); deferred
    // while an operation runs. A type remembered is kept in Kavoda.INI for
    // the next start.
    void chooseType(const ChipType& chip, bool remember = true);
    // The adapter the window drives.
    const AdapterChoice& adapter() const { return m_adapter; }
    // The chooser's Detect; tests and the identification replace it.
    void setDetectHook(std::function<DetectOutcome(const ChipType*)> hook) { m_detectHook = std::move(hook); }
    // Answers the chooser in place of the user; null: the dialog is shown.
    using ChooserHook = std::function<void(TypeChooser&)>;
    void setChooserHook(ChooserHook hook) { m_chooserHook = std::move(hook); }

    // ---- page view
    void ResetViews();
    void ClearHexView();
    void ClearCharView();

    // ---- menu handlers
    void File21Click();
    void Save1Click();
    void Exit2Click();
    void N24c021Click();
    void N24c041Click();
    void N24c081Click();
    void N24c161Click();
    void SDA35261Click();
    void SDA35461Click();
    void SDA35861Click();
    // "Device Other...": the type chooser over the whole chip table.
    void DeviceOtherClick();
    void Setup1Click();
    void About1Click();
    void Device24C1Click();
    void DeviceSDA2Click();
    void Setup2Click();
    void RW1Click();
    void Edit2Click();
    void Schematicdiagram1Click();

    // ---- buttons, page selector, grid, timer, credits
    void ReadBtnClick();
    void WriteBtnClick();
    void BitBtn2Click();
    void BitBtn4Click();
    void BitBtn6Click();
    void ConfirmBtnClick();
    void UpDown1Click();
    void HexGrid1SelectCell(int column, int row);
    void Timer1Timer();
    void ScrollText1End(TCustomScrollText* sender);

    // The menu entry (on the bar or in a drop-down) with this caption.
    QAction* menuAction(const QString& caption) const;
    // The port the device operations use; opened when one begins.
    PortSession& portSession() { return *m_portSession; }

    // Whether the working image exists and is shown.
    bool ImageLoaded = false;

    // ---- working image, page view, Load and Save As (MainPageView.cpp,
    // MainLoadSave.cpp, over the page model of image/)
    // The working file "Tempor.tmp" in workingFolder(), once an image exists.
    RecordFile ImageFile;
    // Image offset of the selected hex cell on the shown page.
    std::int32_t CurrentOffset = 0;
    // Re-creates the working file empty, open for appending the image.
    void CreateImage();
    // Opens the working file again and shows its page 0; enables editing.
    void ReopenImage();
    // Shows the page at offset (page number times 256) from the working file.
    void ShowPage(std::int32_t offset);
    // The image's pages, 0 without one; the selector reaches every one.
    std::int64_t pageCount() const;
    // Shows the page holding address (clamped into the image) with its
    // cell selected: Enter in the hex offset field, Ctrl+G.
    void goToAddress(std::int64_t address);
    // Writes the 256 hex cells into the working file at offset.
    void WritePage(std::int32_t offset);
    // The working file's fixed folder: the current directory when the window
    // was created, absolute, so that a dialog moving the current directory
    // does not move the image. Tests point it elsewhere.
    const std::string& workingFolder() const { return m_workingFolder; }
    void setWorkingFolder(std::string folder) { m_workingFolder = std::move(folder); }
    std::string workingFilePath() const { return joinPath(m_workingFolder, kWorkingFileName); }
    // The file dialogs of Load (OpenDialog1) and Save As (SaveDialog1). A
    // hook, when set, answers in their place with the chosen name, empty
    // for a cancel.
    enum class ImageDialog { Load, Save };
    using ImageDialogHook = std::function<QString(ImageDialog)>;
    void setImageDialogHook(ImageDialogHook hook) { m_imageDialogHook = std::move(hook); }
    // Sets up a dialog as Load or Save As shows it.
    static void setupImageDialog(QFileDialog& dialog, ImageDialog kind);
    // ---- end of working image
    // ---- whole-device operations (defined in MainOperations.cpp)
    void DisableControls();
    void EnableControls();
    void FillDevice(std::uint8_t value, bool erase);
    // The adapter the operations drive: the parallel port (real or
    // simulated) unless another one is set.
    DeviceBus& deviceBus();
    // The bus for a chip of that transport, made anew when it carries another.
    DeviceBus& busFor(Transport transport, const ChipType* chip);
    void setDeviceBus(std::unique_ptr<DeviceBus> bus);
    bool operationRunning() const;
    // What the running operation is called ("Read", "Write", "Fill",
    // "Erase"); empty when none runs.
    QString operationName() const;
    // Runs after each per-byte round of message handling; tests post their
    // events from it.
    void setMessagePumpHook(std::function<void()> hook);
    // What one operation keeps while it runs.
    struct Operations;
    // The shown image holds confirmed edits that no file but the working
    // file holds: Read, Load, Erase and Fill keep it in Tempor.bak before
    // they replace it.
    bool imageUnsaved() const { return m_imageUnsaved; }
    // Tempor.bak holds an image that may be in no other file (kept from an
    // unsaved image, a Write that did not end verified, a process that
    // died): the next copy moves it aside instead of replacing it.
    bool keptImageHeld() const { return m_keptImageHeld; }
    // At start: tells what became of an operation whose process ended in
    // the middle of it, from the journal it left.
    void reportInterruptedOperation();
    // SIGTERM or SIGHUP: a running operation stops at its next byte without
    // a question, its report goes to the journal for the next start, and
    // the program ends.
    void endRequested();
    // ---- end of whole-device operations
    // ---- compare menu (MainCompare.cpp)
    void CompareWithChipClick();
    void CompareWithFileClick();
    void NextDifferenceClick();
    void PreviousDifferenceClick();
    void BlankCheckClick();
    void ChecksumsClick();
    // The differing runs of the last compare, marked on every page shown
    // until another image is shown.
    const std::vector<DifferingRun>& differences() const { return m_differences; }
    void clearDifferences();
    // Marks the differing cells of the page at offset in HexGrid1.
    void markDifferences(std::int32_t offset);

    // ---- controls
    THexGrid* HexGrid3 = nullptr;
    THexGrid* HexGrid2 = nullptr;
    THexGrid* HexGrid1 = nullptr;
    StringGrid* StringGrid2 = nullptr;
    Panel* Panel3 = nullptr;
    TScrollText* ScrollText1 = nullptr;

    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    UpDown* UpDown1 = nullptr;
    Tnumedit* numedit3 = nullptr;
    Thexedit* hexedit1 = nullptr;
    TALed* ALed1 = nullptr;
    TALed* ALed2 = nullptr;
    QPushButton* ConfirmBtn = nullptr;
    QLabel* PageCount = nullptr;

    QGroupBox* GroupBox2 = nullptr;
    TALed* ALed3 = nullptr;
    Panel* Panel1 = nullptr;
    TNeatoMeter* Meter1 = nullptr;
    Thexedit* hexedit4 = nullptr;
    Thexedit* hexedit2 = nullptr;
    Thexedit* hexedit3 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* Writebtn = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    QPushButton* ReadBtn = nullptr;

    QTimer* Timer1 = nullptr;

protected:
    // A close request during an operation stops it at the next byte and
    // closes the window once the port is released.
    void closeEvent(QCloseEvent* event) override;

private:
    void createGrids(QWidget* client);
    void createEditGroup(QWidget* client);
    void createDeviceGroup(QWidget* client);
    void createCredits(QWidget* client);
    void createMenus();
    void createKeys();
    QLabel* addLabel(QWidget* parent, const QString& text, int left, int top);
    // The selector's range and the page count for the image shown.
    void showPageRange();
    void goToTypedAddress();
    // CurrentOffset into the Dec. and Hex fields.
    void showOffset();
    void goToTypedPage();
    // The selector's range without an image, or with one of fewer pages.
    static constexpr int kShortImagePages = 100;
    // The visible side of a device choice, for the entry whose handler is named.
    void chooseDevice(const char* handler);
    // Makes chip the type the operations drive and names it.
    void applyType(const ChipType& chip);
    void showCaption();
    // A row of the chip table chosen beside the device menus; a Microwire
    // row is used with its organisation, so it points to m_microwireType.
    const ChipType* m_chosenChip = nullptr;
    std::optional<ChipType> m_microwireType;
    // A Microwire type kept without its organisation: the chooser asks
    // for it again instead of guessing.
    const ChipType* m_unsettledType = nullptr;
    QLabel* m_portLabel = nullptr;
    AdapterChoice m_adapter;
    QString m_baseCaption;
    std::function<DetectOutcome(const ChipType*)> m_detectHook;
    ChooserHook m_chooserHook;

    std::unique_ptr<PortSession> m_portSession;
    // ---- whole-device operations (MainOperations.h, MainOperations.cpp)
    std::unique_ptr<Operations> m_operations;
    void runOperation(const char* name, const std::function<void()>& body);
    void readDevice();
    // A click on a device button while an operation runs: refused with a
    // beep and a word that says why.
    void refuseClick();
    // Keeps an unsaved image in Tempor.bak before an operation replaces
    // it; one that cannot be kept ends the operation before the chip.
    void keepUnsavedBeforeOperation();
    // Whether a stop asked for now may go ahead: a pass that writes the chip
    // asks first; a Read stops without a question.
    bool confirmStop();
    // Esc: stops the running operation as a close would, window kept.
    void stopKeyPressed();
    // A type chosen while an operation runs applies when it has ended.
    void deferDeviceChoice(const CatalogueEntry& entry);
    QShortcut* m_stopKey = nullptr;
    TSetupForm* m_setupForm = nullptr;
    TForm1* m_schematicForm = nullptr;

    // ---- working image (MainLoadSave.cpp)
    QString chooseImageFile(ImageDialog kind);
    bool m_imageUnsaved = false;
    bool m_keptImageHeld = false;
    // Load and Save As wait for a running operation: this says so.
    void refuseDuringOperation() const;
    std::string m_workingFolder = currentFolder();
    ImageDialogHook m_imageDialogHook;

    // ---- compare menu (MainCompare.cpp)
    void createCompareMenu();
    // The working file's bytes, read without touching ImageFile.
    std::vector<std::uint8_t> shownImage() const;
    // Reads the chip as Read does, into bytes; false when it was stopped.
    bool readChipForCompare(std::vector<std::uint8_t>& bytes, QString& chipName);
    // Marks the differences and says what they are; sizeNote, when given,
    // what the sizes left out.
    void showComparison(const ByteComparison& comparison, const QString& other,
                        const QString& sizeNote);
    void showDifference(std::uint32_t address);
    QMenu* m_compareMenu = nullptr;
    std::vector<DifferingRun> m_differences;
};

} // namespace kavoda
