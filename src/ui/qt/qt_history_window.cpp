#include "ui/qt/qt_history_window.h"
#include "ui/qt/qt_widgets.h"

#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_window.h"

#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace talery {
namespace {

using Kind = MarkedLine::Kind;

// Lines put into the preview at once: the first screen, then each later slice.
constexpr std::size_t kFirstLines = 300;
constexpr std::size_t kSliceLines = 800;

// The marks read on the preview's own light page in every theme: red for
// what only the earlier state has, green for what only the text now has.
struct Looks {
    QTextCharFormat plain, removedLine, removedMark, addedLine, addedMark;
    Looks() {
        removedLine.setBackground(QColor(0xFB, 0xE4, 0xE4));
        removedMark = removedLine;
        removedMark.setBackground(QColor(0xF2, 0x9C, 0x9C));
        removedMark.setFontStrikeOut(true);
        addedLine.setBackground(QColor(0xE2, 0xF5, 0xE2));
        addedMark = addedLine;
        addedMark.setBackground(QColor(0x93, 0xD9, 0x93));
        addedMark.setFontUnderline(true);
    }
};

const Looks& looks() {
    static const Looks l;
    return l;
}

}  // namespace

QtHistoryWindow::QtHistoryWindow(QWidget* mainWindow, std::function<void(const UiEvent&)> raise)
    : main_(mainWindow), raise_(std::move(raise)) {}

QtHistoryWindow::~QtHistoryWindow() { delete dialog_.data(); }

void QtHistoryWindow::build() {
    auto* d = new LogicClosedDialog(main_, [this] { raise_({.type = EventType::Closed, .historyUnit = HistoryUnit::Window}); });
    d->setObjectName(QStringLiteral("历史版本"));
    d->setModal(false);
    d->resize(1000, 640);
    auto* layout = new QVBoxLayout(d);
    auto* split = new QSplitter(Qt::Horizontal, d);
    list_ = new QTreeWidget(split);
    list_->setObjectName(QStringLiteral("列表"));
    list_->setAccessibleName(QStringLiteral("历史版本列表"));
    list_->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("字数"), QStringLiteral("与现在相比"), QStringLiteral("备注")});
    list_->setRootIsDecorated(true);
    list_->setUniformRowHeights(true);  // a thousand rows lay out at once
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* right = new QWidget(split);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    legend_ = new QLabel(right);
    legend_->setTextFormat(Qt::RichText);
    legend_->setText(QStringLiteral("<span style='background:#F29C9C'>&nbsp;红色&nbsp;</span> 只在这个版本里　"
                                    "<span style='background:#93D993'>&nbsp;绿色&nbsp;</span> 现在的文本才有"));
    progress_ = new QProgressBar(right);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->hide();
    preview_ = new QPlainTextEdit(right);
    preview_->setObjectName(QStringLiteral("预览"));
    preview_->setAccessibleName(QStringLiteral("版本内容"));
    preview_->setReadOnly(true);
    preview_->setUndoRedoEnabled(false);
    preview_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette page = preview_->palette();
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, Qt::black);
    preview_->setPalette(page);
    rightLayout->addWidget(legend_);
    rightLayout->addWidget(progress_);
    rightLayout->addWidget(preview_, 1);
    split->addWidget(list_);
    split->addWidget(right);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    bringBack_ = new QPushButton(QStringLiteral("恢复"), d);
    bringBack_->setObjectName(QStringLiteral("恢复按钮"));
    close_ = new QPushButton(QStringLiteral("关闭"), d);
    close_->setObjectName(QStringLiteral("关闭按钮"));
    buttons->addWidget(bringBack_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    dialog_ = d;

    QObject::connect(list_, &QTreeWidget::currentItemChanged, d, [this](QTreeWidgetItem* item) {
        if (filling_) return;
        const auto at = std::find(items_.begin(), items_.end(), item);
        const int index = at == items_.end() ? -1 : static_cast<int>(at - items_.begin());
        raise_({.type = EventType::SelectionChanged, .index = index, .historyUnit = HistoryUnit::列表});
    });
    QObject::connect(bringBack_, &QPushButton::clicked, d,
                     [this] { raise_({.type = EventType::Click, .historyUnit = HistoryUnit::恢复按钮}); });
    QObject::connect(close_, &QPushButton::clicked, d,
                     [this] { raise_({.type = EventType::Click, .historyUnit = HistoryUnit::关闭按钮}); });
    filler_ = new QTimer(d);
    filler_->setInterval(0);
    QObject::connect(filler_, &QTimer::timeout, d, [this] {
        if (!fillSome(kSliceLines)) filler_->stop();
    });
}

QPushButton* QtHistoryWindow::button(HistoryUnit unit) const {
    if (unit == HistoryUnit::恢复按钮) return bringBack_;
    if (unit == HistoryUnit::关闭按钮) return close_;
    return nullptr;
}

void QtHistoryWindow::open(const Text& caption, const FindWindowLook& look) {
    if (!dialog_) build();
    QDialog* d = dialog_.data();
    d->setWindowTitle(toQt(caption));
    QPalette pal = d->palette();
    pal.setColor(QPalette::Window, qcolour(look.background));
    pal.setColor(QPalette::WindowText, qcolour(look.text));
    d->setPalette(pal);
    setRows({});
    showNote({});
    setProgress(-1);
    d->show();
    d->raise();
    d->activateWindow();
}

void QtHistoryWindow::close() {
    if (filler_) filler_->stop();
    text_.reset();
    if (dialog_) dialog_->hide();
}

bool QtHistoryWindow::shown() const { return dialog_ && dialog_->isVisible(); }

void QtHistoryWindow::setRows(const std::vector<HistoryRow>& rows) {
    if (!dialog_) build();
    filling_ = true;
    list_->clear();
    items_.clear();
    QList<QTreeWidgetItem*> top;
    QTreeWidgetItem* heading = nullptr;
    for (const HistoryRow& row : rows) {
        auto* item = new QTreeWidgetItem({toQt(row.when), toQt(row.size), toQt(row.change), toQt(row.note)});
        if (row.depth > 0 && heading) {
            heading->addChild(item);
        } else {
            top.push_back(item);
            heading = item;
        }
        items_.push_back(item);
    }
    list_->addTopLevelItems(top);
    list_->expandAll();
    list_->setCurrentItem(nullptr);
    filling_ = false;
}

void QtHistoryWindow::setRow(int index, const HistoryRow& row) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    QTreeWidgetItem* item = items_[static_cast<std::size_t>(index)];
    item->setText(0, toQt(row.when));
    item->setText(1, toQt(row.size));
    item->setText(2, toQt(row.change));
    item->setText(3, toQt(row.note));
}

int QtHistoryWindow::currentRow() const {
    if (!list_) return -1;
    const auto at = std::find(items_.begin(), items_.end(), list_->currentItem());
    return at == items_.end() ? -1 : static_cast<int>(at - items_.begin());
}

void QtHistoryWindow::setCurrentRow(int index) {
    if (!list_) return;
    filling_ = true;
    list_->setCurrentItem(index >= 0 && index < static_cast<int>(items_.size()) ? items_[static_cast<std::size_t>(index)]
                                                                                : nullptr);
    filling_ = false;
}

bool QtHistoryWindow::fillSome(std::size_t count) {
    if (!text_) return false;
    const MarkedText& t = *text_;
    const Looks& l = looks();
    QTextCursor c(preview_->document());
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    const std::size_t end = std::min(t.lines.size(), nextLine_ + count);
    for (std::size_t i = nextLine_; i < end; ++i) {
        const MarkedLine& line = t.lines[i];
        // A changed line is tinted from edge to edge, an empty one too.
        QTextBlockFormat block;
        if (line.kind != Kind::Same) block.setBackground((line.kind == Kind::Added ? l.addedLine : l.removedLine).background());
        if (i > 0) c.insertBlock(block, l.plain);
        else c.setBlockFormat(block);
        if (line.kind == Kind::Same) {
            // A run of unchanged lines is one piece of the earlier text.
            std::size_t last = i;
            while (last + 1 < end && t.lines[last + 1].kind == Kind::Same &&
                   t.lines[last + 1].start == t.lines[last].start + t.lines[last].length + 2)
                ++last;
            const std::size_t from = line.start, to = t.lines[last].start + t.lines[last].length;
            c.insertText(toQt(t.older.substr(from, to - from)), l.plain);
            i = last;
            continue;
        }
        const std::string_view text = t.line(line);
        const bool added = line.kind == Kind::Added;
        const QTextCharFormat& whole = added ? l.addedLine : l.removedLine;
        const QTextCharFormat& mark = added ? l.addedMark : l.removedMark;
        std::uint32_t at = 0;
        for (const auto& [from, to] : line.marks) {
            if (from > at) c.insertText(toQt(Text(text.substr(at, from - at))), whole);
            c.insertText(toQt(Text(text.substr(from, to - from))), mark);
            at = to;
        }
        if (at < text.size()) c.insertText(toQt(Text(text.substr(at))), whole);
        c.setCharFormat(l.plain);
    }
    c.endEditBlock();
    nextLine_ = end;
    if (nextLine_ >= t.lines.size()) {
        text_.reset();
        return false;
    }
    return true;
}

bool QtHistoryWindow::previewComplete() const { return !text_; }

void QtHistoryWindow::showText(std::shared_ptr<const MarkedText> text) {
    if (!dialog_) build();
    filler_->stop();
    preview_->clear();
    text_ = std::move(text);
    nextLine_ = 0;
    legend_->show();
    // The first screen at once; the rest between events.
    if (fillSome(kFirstLines)) filler_->start();
    preview_->verticalScrollBar()->setValue(0);
}

void QtHistoryWindow::showNote(const Text& note) {
    if (!dialog_) build();
    filler_->stop();
    text_.reset();
    legend_->hide();
    preview_->setPlainText(toQt(note));
}

void QtHistoryWindow::setProgress(double fraction) {
    if (!dialog_) build();
    if (fraction < 0 || fraction >= 1) {
        progress_->hide();
        return;
    }
    progress_->setValue(static_cast<int>(fraction * 1000));
    progress_->show();
}

void QtHistoryWindow::setEnabled(HistoryUnit unit, bool on) {
    if (!dialog_) build();
    if (QPushButton* b = button(unit)) b->setEnabled(on);
}

bool QtHistoryWindow::enabled(HistoryUnit unit) const {
    const QPushButton* b = button(unit);
    return b && b->isEnabled();
}

void QtHistoryWindow::setText(HistoryUnit unit, const Text& text) {
    if (!dialog_) build();
    if (QPushButton* b = button(unit)) b->setText(toQt(text));
}

}  // namespace talery
