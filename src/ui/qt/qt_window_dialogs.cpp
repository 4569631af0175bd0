// The Qt window's dialogs: message boxes, progress, the file dialogs and the
// password dialog.
#include "ui/qt/qt_window.h"

#include "ui/password_dialog.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"
#include "ui/unit_table.h"

#include <algorithm>
#include <QCoreApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

namespace talery {
namespace {

// "desc|pattern|" of the design becomes a Qt name filter.
QStringList nameFilters(const UnitDesign& dialog) {
    QStringList out;
    for (std::string_view item : dialog.items) {
        const QStringList parts = utf8ToQt(item).split(QLatin1Char('|'));
        if (parts.size() >= 2) out << QStringLiteral("%1 (%2)").arg(parts[0], parts[1]);
    }
    return out;
}

}  // namespace

Answer QtWindow::messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon) {
    QMessageBox box(main_.get());
    themed(&box);
    box.setWindowTitle(toQt(caption));
    box.setText(toQt(text));
    switch (icon) {
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        case Icon::None: break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    switch (buttons) {
        case Buttons::OK: set = QMessageBox::Ok; break;
        case Buttons::OKCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
        case Buttons::YesNo:
        case Buttons::YesNoStay: set = QMessageBox::Yes | QMessageBox::No; break;
        case Buttons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    box.setStandardButtons(set);
    if (buttons == Buttons::YesNoStay) box.setDefaultButton(QMessageBox::No);
    switch (box.exec()) {
        case QMessageBox::Ok: return Answer::OK;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default:
            if (buttons == Buttons::OK) return Answer::OK;
            return buttons == Buttons::YesNo || buttons == Buttons::YesNoStay ? Answer::No : Answer::Cancel;
    }
}

void QtWindow::showProgress(const Text& text, double fraction) {
    if (!progress_) {
        // Not modal: a modal one would let input through while it repaints.
        progress_ = new QProgressDialog(main_.get());
        themed(progress_);
        progress_->setWindowTitle(QStringLiteral("Talery"));
        progress_->setCancelButton(nullptr);
        progress_->setRange(0, 1000);
        // Work over in half a second shows none: a box flashing up and
        // away reads as something gone wrong. The window paints either way.
        progress_->setMinimumDuration(500);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumWidth(360);
    }
    progress_->setLabelText(toQt(text));
    progress_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
    paintDuringWork();
}

void QtWindow::paintDuringWork() const {
    // Paint, but keep clicks and keys for after the work.
    if (progress_) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtWindow::endProgress() {
    if (!progress_) return;
    progress_->hide();
    progress_->deleteLater();
    progress_ = nullptr;
}

std::optional<Path> QtWindow::runFileDialog(const FileDialogRequest& request, bool save) {
    const UnitDesign& design = designOf(request.dialog);
    QFileDialog dialog(main_.get());
    themed(&dialog);
    dialog.setObjectName(utf8ToQt(design.name));
    // Qt's own dialog on every desktop: the same behaviour everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(design));
    // The type list is named by its caption.
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        if (auto* caption = dialog.findChild<QLabel*>(QStringLiteral("fileTypeLabel"))) caption->setBuddy(types);
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(request.initialFolder)));
    // "(*.txt)" at the end of a whole filter gives "txt".
    auto suffixOf = [](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
        const auto match = pattern.match(filter);
        return match.hasMatch() ? match.captured(1) : QString();
    };
    if (!design.extra.empty()) dialog.setDefaultSuffix(utf8ToQt(design.extra));
    // A design suffix that none of the types offers (a recording offered as
    // "mp3" while it is written as WAV) gives way to the first type's own.
    if (!dialog.nameFilters().isEmpty() && !dialog.defaultSuffix().isEmpty()) {
        bool offered = false;
        for (const QString& filter : dialog.nameFilters()) offered = offered || suffixOf(filter) == dialog.defaultSuffix();
        if (!offered && !suffixOf(dialog.nameFilters().first()).isEmpty())
            dialog.setDefaultSuffix(suffixOf(dialog.nameFilters().first()));
    }
    // Save safety: a bare name takes the suffix of the type the user chose, so
    // choosing the encrypted type really saves encrypted.
    if (save)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffixOf](const QString& shown) {
            // The type list shows descriptions only; find the whole filter.
            for (const QString& filter : dialog.nameFilters()) {
                if (filter != shown && !filter.startsWith(shown + QStringLiteral(" ("))) continue;
                if (const QString suffix = suffixOf(filter); !suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
                return;
            }
        });
    if (!request.initialName.empty()) {
        // A title may hold "/"; it must not turn the offered name into a path.
        QString name = utf8ToQt(request.initialName);
        name.replace(QLatin1Char('/'), QStringLiteral("／"));
        dialog.selectFile(name);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

std::optional<Path> QtWindow::openFileDialog(const FileDialogRequest& request) { return runFileDialog(request, false); }
std::optional<Path> QtWindow::saveFileDialog(const FileDialogRequest& request) { return runFileDialog(request, true); }

std::optional<Text> QtWindow::askPassword(const PasswordDialogLook& look) {
    QDialog dialog(main_.get());
    dialog.setObjectName(QStringLiteral("密码对话框"));
    dialog.setWindowTitle(utf8ToQt(kPasswordDialogCaption));
    dialog.setFixedSize(kPasswordDialogSize.width, kPasswordDialogSize.height);
    dialog.setAutoFillBackground(true);
    setPaletteColour(&dialog, QPalette::Window, look.background);
    QLineEdit* edit = nullptr;
    for (const DialogUnitDesign& unit : passwordDialogUnits()) {
        QWidget* w = nullptr;
        if (unit.kind == UnitKind::EditBox) {
            auto* e = new LineEdit(&dialog);
            connect(e, &QLineEdit::returnPressed, &dialog, &QDialog::accept);
            edit = e;
            w = e;
        } else if (unit.kind == UnitKind::Button) {
            auto* b = new QPushButton(utf8ToQt(unit.text), &dialog);
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, &dialog, &QDialog::accept);
            w = b;
        } else {
            auto* l = new QLabel(utf8ToQt(unit.text).split(QStringLiteral("\r\n")).join(QLatin1Char('\n')), &dialog);
            setPaletteColour(l, QPalette::WindowText, look.labelText);
            w = l;
        }
        w->setObjectName(utf8ToQt(unit.name));
        w->setGeometry(unit.rect.left, unit.rect.top, unit.rect.width, unit.rect.height);
    }
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return fromQt(edit->text());
}

std::optional<WritingGoal> QtWindow::askWritingGoal(const WritingGoal& offered, const PasswordDialogLook& look) {
    QDialog dialog(main_.get());
    dialog.setObjectName(QStringLiteral("小黑屋对话框"));
    dialog.setWindowTitle(QStringLiteral("小黑屋"));
    themed(&dialog);
    dialog.setAutoFillBackground(true);
    setPaletteColour(&dialog, QPalette::Window, look.background);
    auto* form = new QFormLayout(&dialog);
    auto* intro = new QLabel(QStringLiteral("定一个目标，达成前离开要确认两次。\n"
                                            "要立即离开，在正文中输入窗口顶部给出的一句话。"),
                             &dialog);
    setPaletteColour(intro, QPalette::WindowText, look.labelText);
    form->addRow(intro);
    auto* amount = new QSpinBox(&dialog);
    amount->setObjectName(QStringLiteral("目标数量"));
    amount->setAccessibleName(QStringLiteral("目标数量"));
    amount->setRange(1, 1000000);
    amount->setValue(std::max(offered.amount, 1));
    auto* unit = new QComboBox(&dialog);
    unit->setObjectName(QStringLiteral("目标单位"));
    unit->setAccessibleName(QStringLiteral("目标单位"));
    unit->addItems({QStringLiteral("字"), QStringLiteral("分钟")});
    unit->setCurrentIndex(offered.unit == GoalUnit::Minutes ? 1 : 0);
    auto* caption = new QLabel(QStringLiteral("目标："), &dialog);
    setPaletteColour(caption, QPalette::WindowText, look.labelText);
    caption->setBuddy(amount);
    // The unit list has no caption of its own on the screen: one only screen readers read.
    auto* unitCaption = new QLabel(QStringLiteral("目标单位"), &dialog);
    unitCaption->setBuddy(unit);
    unitCaption->hide();
    auto* row = new QHBoxLayout;
    row->addWidget(amount, 1);
    row->addWidget(unit);
    form->addRow(caption, row);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("进入"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("进入"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    amount->selectAll();
    amount->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return WritingGoal{unit->currentIndex() == 1 ? GoalUnit::Minutes : GoalUnit::Characters, amount->value()};
}

}  // namespace talery
