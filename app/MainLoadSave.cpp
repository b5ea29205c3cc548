// SPDX-License-Identifier: MIT
// The main window's "&Load" and "Save &As...": raw bytes into and out of the
// working image, through the two file dialogs.
#include "Main.h"

#include "ErrorReport.h"
#include "ImagePage.h"
#include "MainOperations.h"
#include "WorkingImage.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <memory>
#include <stdexcept>

namespace kavoda {

namespace {

// Each entry shows as its first part; the pattern in the last brackets is
// what matches, so "all" also lists names without a dot.
const QStringList kLoadFilters = {QStringLiteral("bin(*.bin) (*.bin)"),
                                  QStringLiteral("text(*.txt) (*.txt)"),
                                  QStringLiteral("all(*.*) (*)")};
const QStringList kSaveFilters = {QStringLiteral("bin(*.bin) (*.bin)"),
                                  QStringLiteral("Text(*.txt) (*.txt)"),
                                  QStringLiteral("all(*.*) (*)")};

// Where both dialogs open: a folder "Wurlen" in the home folder when there
// is one, else the current folder.
QString initialImageFolder()
{
    const QDir wurlen(QDir::home().filePath(QStringLiteral("Wurlen")));
    return wurlen.exists() ? wurlen.absolutePath() : QDir::currentPath();
}

std::string localPath(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

// Save As refuses the working file before its own "replace?" question:
// saving there would save nothing. The dialog stays open for another name.
class SaveAsDialog final : public QFileDialog {
public:
    SaveAsDialog(QWidget* parent, std::string workingFile)
        : QFileDialog(parent), m_workingFile(std::move(workingFile))
    {
    }
    void accept() override
    {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const std::string chosen = localPath(files.front());
            if (sameExistingFile(chosen, m_workingFile)) {
                showErrorReport(QString::fromStdString(workingFileRefusal(chosen)));
                return;
            }
        }
        QFileDialog::accept();
    }

    static std::string workingFileRefusal(const std::string& target)
    {
        return target + " is the working file, which the next Read replaces; save the image "
                        "under another name.";
    }

private:
    std::string m_workingFile;
};

} // namespace

void TMainForm::setupImageDialog(QFileDialog& dialog, ImageDialog kind)
{
    const bool load = kind == ImageDialog::Load;
    dialog.setObjectName(load ? QStringLiteral("OpenDialog1") : QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(load ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Load takes any name, existing or not; a missing file is reported then.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, load);
    dialog.setNameFilters(load ? kLoadFilters : kSaveFilters);
    dialog.selectNameFilter(dialog.nameFilters().front());
    dialog.setDefaultSuffix(load ? QString() : QStringLiteral("bin"));
    dialog.setDirectory(initialImageFolder());
}

QString TMainForm::chooseImageFile(ImageDialog kind)
{
    if (m_imageDialogHook)
        return m_imageDialogHook(kind);
    std::unique_ptr<QFileDialog> owned = kind == ImageDialog::Save
        ? std::make_unique<SaveAsDialog>(this, workingFilePath())
        : std::make_unique<QFileDialog>(this);
    QFileDialog& dialog = *owned;
    setupImageDialog(dialog, kind);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().front();
}

void TMainForm::refuseDuringOperation() const
{
    // A running operation owns the working file: its closing Read would
    // replace a loaded image, and a copy taken now may be half read.
    if (operationRunning())
        throw std::runtime_error("Wait until the " + operationName().toStdString() +
                                 " is done.");
}

void TMainForm::File21Click()
{
    refuseDuringOperation();
    const QString chosen = chooseImageFile(ImageDialog::Load);
    if (chosen.isEmpty())
        return;
    // An image with edits that no file holds is kept in Tempor.bak; the
    // copy goes in place after the Load, which may read Tempor.bak itself.
    std::unique_ptr<KeptImage> kept;
    try {
        kept = keepUnsavedImage(*this);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("The image shown holds edits that no file holds. ") +
                                 e.what() + " Nothing was loaded.");
    }
    loadImage(ImageFile, localPath(chosen), workingFilePath());
    ImageLoaded = true;
    m_imageUnsaved = false;
    if (kept) {
        kept->commit();
        m_keptImageHeld = true;
    }
    ReopenImage();
    if (kept) {
        QString text = unsavedKeptSentence(QString::fromStdString(kept->path()));
        if (!kept->movedTo().empty())
            text += QLatin1Char('\r') + movedKeptSentence(kept->movedTo());
        showNotice(text);
    }
}

void TMainForm::Save1Click()
{
    if (!ImageLoaded)
        return;
    refuseDuringOperation();
    const QString chosen = chooseImageFile(ImageDialog::Save);
    if (chosen.isEmpty())
        return;
    // The simulated chip's content file and the trace are the session's own:
    // a copy over them would replace the chip or mix with the trace.
    const std::string target = localPath(chosen);
    if (m_portSession->usesFile(target))
        throw std::runtime_error(target + " is the simulated chip's content file or the bus "
                                          "trace; save the image under another name");
    // The working file is no place to save to: the next Read replaces it.
    if (sameExistingFile(target, workingFilePath()))
        throw std::runtime_error(SaveAsDialog::workingFileRefusal(target));
    saveImageCopy(ImageFile, target);
    m_imageUnsaved = false;
}

} // namespace kavoda
