#include "ui/qt/qt_text_edit.h"

#include "ui/qt/qt_body_layout.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace talery {
namespace {

// The "?" rule: what GBK cannot hold becomes "?", a surrogate pair one "?".
// Whether anything changed.
bool makeGbkSafe(QString& text) {
    bool changed = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QChar::ParagraphSeparator || c == u'\n') continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            text.replace(i, 2, QStringLiteral("?"));
            changed = true;
            continue;
        }
        if (!gbkCanHold(c.unicode())) {
            text[i] = QLatin1Char('?');
            changed = true;
        }
    }
    return changed;
}

}  // namespace

TextEdit::TextEdit(QWidget* parent) : QPlainTextEdit(parent), settleTimer_(new QTimer(this)) {
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &QTimer::timeout, this, &TextEdit::settleSome);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TextEdit::settleAtCaret);
    QTextDocument* doc = newDocument();
    doc->setDocumentLayout(new BodyLayout(doc));
    adopt(doc);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!fixing_ && !loading_) emit contentChanged();
    });
}

QTextDocument* TextEdit::newDocument() {
    auto* doc = new QTextDocument(this);
    // It reads as the one it follows: the same font, wrapping, tabs and alignment.
    const QTextDocument* old = document();
    doc->setDefaultFont(old->defaultFont());
    doc->setDefaultTextOption(old->defaultTextOption());
    doc->setDocumentMargin(old->documentMargin());
    doc->setUseDesignMetrics(old->useDesignMetrics());
    doc->setDefaultCursorMoveStyle(old->defaultCursorMoveStyle());
    return doc;
}

void TextEdit::adopt(QTextDocument* doc) {
    const bool loading = std::exchange(loading_, true);
    setDocument(doc);
    loading_ = loading;
    // The toolkit's whole-box repaints go through repaintFrom instead; should
    // its wiring ever differ, they stay as they are.
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    for (QObject* control : children()) {
        if (control->inherits("QWidgetTextControl") &&
            QObject::disconnect(layout, SIGNAL(update(QRectF)), control, nullptr)) {
            connect(layout, &QAbstractTextDocumentLayout::update, this, &TextEdit::onLayoutUpdate, Qt::UniqueConnection);
        }
    }
    if (auto* body = qobject_cast<BodyLayout*>(layout)) {
        body->setView(viewport());
        connect(body, &BodyLayout::estimating, this, &TextEdit::settleAfterPause, Qt::UniqueConnection);
    }
    keptLayout_ = QTextCursor(doc);
    connect(doc, &QTextDocument::contentsChange, this, &TextEdit::onContentsChange, Qt::UniqueConnection);
    // An edit made here starts a new line of steps: what redo would have
    // brought back from another document is gone.
    connect(doc, &QTextDocument::undoCommandAdded, this, &TextEdit::forgetLater, Qt::UniqueConnection);
}

void TextEdit::onLayoutUpdate() { repaintFrom(bodyLayout()->changedFrom()); }

// The layout of the document shown; every document the box makes has one.
BodyLayout* TextEdit::bodyLayout() const { return qobject_cast<BodyLayout*>(document()->documentLayout()); }

// A pause in the typing: the writer has stopped for a moment.
void TextEdit::settleAfterPause() { settleTimer_->start(300); }

void TextEdit::paintEvent(QPaintEvent* event) {
    settleShown();
    QPlainTextEdit::paintEvent(event);
}

void TextEdit::settleShown() {
    BodyLayout* body = bodyLayout();
    const int height = viewport()->height();
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top < height) {
        const int line = body ? body->estimatedLine(block) : -1;
        if (line >= 0 && top + block.layout()->lineAt(line).y() < height) body->settle(block);
        top += blockBoundingRect(block).height();  // lays the paragraph out if it is not
        block = block.next();
    }
}

void TextEdit::settleAtCaret() {
    BodyLayout* body = bodyLayout();
    const QTextCursor caret = textCursor();
    const QTextBlock block = caret.block();
    const int line = body ? body->estimatedLine(block) : -1;
    if (line >= 0 && caret.positionInBlock() >= block.layout()->lineAt(line).textStart()) body->settle(block);
}

void TextEdit::settleNearCaret() {
    // A move by line or page lands within a page of the caret: up to two
    // pages below it are laid out exactly first (the paragraph a change was
    // typed into usually has them already), and the paragraph above whole,
    // whose last lines a move up may reach.
    BodyLayout* body = bodyLayout();
    if (!body) return;
    const QTextCursor caret = textCursor();
    const QTextBlock block = caret.block();
    const int page = viewport()->height() / std::max(1, fontMetrics().lineSpacing()) + 1;
    const int line = body->estimatedLine(block);
    const int at = block.layout()->lineForTextPosition(caret.positionInBlock()).lineNumber();
    if (line >= 0 && line - at <= 2 * page) body->settle(block, 4 * page);
    body->settle(block.previous());
}

void TextEdit::settleSome() {
    // A slice at a time, so a key pressed meanwhile waits a few milliseconds at most.
    BodyLayout* body = bodyLayout();
    if (!body) return;
    const std::vector<QTextBlock> blocks = body->estimatedBlocks();
    if (blocks.empty()) return;
    body->settle(blocks.front(), 400);
    settleTimer_->start(0);
}

void TextEdit::park(std::vector<Parked>& into) {
    QTextDocument* doc = document();
    const QTextCursor c = textCursor();
    into.push_back({doc, c.anchor(), c.position(), verticalScrollBar()->value()});
    // Once the window is idle, the document put aside lets the layout
    // objects of its paragraphs go (a new layout frees them): a few hundred
    // bytes each, tens of megabytes for a novel of short lines. It is laid
    // out again when it comes back.
    QTimer::singleShot(0, doc, [this, doc] {
        if (doc == document()) return;
        disconnect(doc, &QTextDocument::contentsChange, this, &TextEdit::onContentsChange);
        doc->setDocumentLayout(new BodyLayout(doc));
    });
}

void TextEdit::unpark(std::vector<Parked>& from, std::vector<Parked>& into) {
    const int before = document()->characterCount() - 1;
    const Parked back = from.back();
    from.pop_back();
    // What the box set in the meantime (a theme's font, centring) holds for it too.
    QTextDocument* doc = back.document;
    const QTextDocument* now = document();
    if (doc->defaultFont() != now->defaultFont()) doc->setDefaultFont(now->defaultFont());
    if (doc->defaultTextOption().alignment() != now->defaultTextOption().alignment() ||
        doc->defaultTextOption().wrapMode() != now->defaultTextOption().wrapMode() ||
        doc->defaultTextOption().tabStopDistance() != now->defaultTextOption().tabStopDistance())
        doc->setDefaultTextOption(now->defaultTextOption());
    tellRemoved(before);
    park(into);
    adopt(doc);
    if (QAccessible::isActive()) {
        QTextCursor all(doc);
        all.select(QTextCursor::Document);
        QAccessibleTextInsertEvent put(this, 0, all.selectedText());
        QAccessible::updateAccessibility(&put);
    }
    QTextCursor c(doc);
    c.setPosition(back.anchor);
    c.setPosition(back.position, QTextCursor::KeepAnchor);
    setTextCursor(c);
    verticalScrollBar()->setValue(back.scroll);
    // A key typed now is a step of its own, not one more of the last.
    endUndoStep();
    report({0, before, doc->characterCount() - 1, false});
}

void TextEdit::drop(std::vector<Parked>& parked) {
    for (const Parked& p : parked) delete p.document;
    parked.clear();
}

void TextEdit::undoEdit() {
    if (document()->isUndoAvailable() || earlier_.empty()) undo();
    else unpark(earlier_, later_);
}

void TextEdit::redoEdit() {
    if (document()->isRedoAvailable() || later_.empty()) redo();
    else unpark(later_, earlier_);
}

void TextEdit::tellRemoved(int removed) {
    // A screen reader hears what it would of the edit made in place: the
    // old text gone (as the toolkit tells it, in spaces), then the new one
    // put in.
    if (!QAccessible::isActive()) return;
    QAccessibleTextRemoveEvent gone(this, 0, QString(removed, u' '));
    QAccessible::updateAccessibility(&gone);
}

void TextEdit::report(const Span& span) {
    pending_ = span;
    changed_ = true;
    emit contentChanged();
}

void TextEdit::setContent(const QString& text) {
    if (isReadOnly() && !isVisible() && window()->isVisible()) {
        deferred_ = text;
        return;
    }
    deferred_.reset();
    // A new text: undo goes back to nothing before it.
    drop(earlier_);
    drop(later_);
    setting_ = true;
    setPlainText(text);
    setting_ = false;
}

void TextEdit::setContent(const Pieces& next, const std::function<void()>& between) {
    deferred_.reset();
    drop(earlier_);
    drop(later_);
    setting_ = true;
    loading_ = true;
    QTextDocument* doc = document();
    // The toolkit would size the scroll bar after each piece by laying out
    // the text's last screenful again, new characters and all: once, at the
    // end, is enough. The first piece is shown at once; the others go in
    // below it.
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    const bool blocked = layout->blockSignals(true);
    // What changed before the text (a session begun) is drawn first. Then
    // the first screen is laid out in one step and drawn in the next: each
    // loads the shapes of its glyphs, and the two at once would hold the
    // window twice as long.
    between();
    viewport()->setUpdatesEnabled(false);
    setPlainText(next().value_or(QString()));  // the caret at the start, no undo steps
    settleShown();
    between();
    viewport()->setUpdatesEnabled(true);  // and asks for the paint
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor end(doc);
    while (true) {
        between();
        const std::optional<QString> piece = next();
        if (!piece) break;
        end.movePosition(QTextCursor::End);
        end.insertText(*piece);
    }
    layout->blockSignals(blocked);
    emit layout->documentSizeChanged(layout->documentSize());
    emit layout->update();
    doc->setUndoRedoEnabled(undo);
    doc->setModified(false);
    loading_ = false;
    setting_ = false;
    // The layout's own call for it went unheard while it was quiet.
    settleAfterPause();
    emit contentChanged();
}

void TextEdit::replaceEverything(QTextCursor& cursor, const QString& head, const QString& middle,
                                 const QString& tail, const Pieces& more) {
    // The new text goes into a new document. Taking the old text out of
    // this one would cost half as long again as putting the new one in, and
    // the old document is what undo goes back to. The new one is shown
    // empty and filled then: shown full, the toolkit would give every one of
    // its paragraphs a layout object at once.
    const int before = document()->characterCount() - 1;
    const int from = static_cast<int>(head.size());
    QTextDocument* doc = newDocument();
    doc->setDocumentLayout(new BodyLayout(doc));
    doc->setUndoRedoEnabled(false);  // undo in it starts from its first text
    tellRemoved(before);
    park(earlier_);
    drop(later_);
    adopt(doc);
    // Every cursor on a document is moved at each of its paragraphs going
    // in: the one that keeps a layout follows once the text is in.
    keptLayout_ = QTextCursor();
    setting_ = loading_ = true;
    QTextCursor end(doc);
    end.insertText(head);
    const auto put = [&end](const QString& piece) {
        if (!piece.contains(QChar::ReplacementCharacter)) return end.insertText(piece);
        QString safe = piece;
        makeGbkSafe(safe);
        end.insertText(safe);
    };
    put(middle);
    if (more)
        while (const std::optional<QString> piece = more()) put(*piece);
    const int after = end.position();
    end.insertText(tail);
    setting_ = loading_ = false;
    keptLayout_ = QTextCursor(doc);
    doc->setUndoRedoEnabled(true);
    cursor = QTextCursor(doc);
    cursor.setPosition(after);
    // What changed is the middle, whatever the toolkit was told.
    report({from, before - from - static_cast<int>(tail.size()), after - from, false});
}

QString TextEdit::content() const { return deferred_ ? *deferred_ : toPlainText(); }

void TextEdit::setCoveredBottom(int pixels) {
    if (viewportMargins().bottom() != pixels) setViewportMargins(0, 0, 0, pixels);
}

void TextEdit::showEvent(QShowEvent* event) {
    if (deferred_) setContent(*std::exchange(deferred_, std::nullopt));
    QPlainTextEdit::showEvent(event);
}

void TextEdit::changeEvent(QEvent* event) {
    // Chinese, Latin and the punctuation GBK holds need no shaping rules to
    // be drawn right, and the toolkit lays a whole paragraph out again on
    // every key: without them a long paragraph takes a third less per key.
    // Scripts that do need them are still shaped.
    if (event->type() == QEvent::FontChange)
        if (BodyLayout* body = bodyLayout()) body->forget();
    if (event->type() == QEvent::FontChange && !(font().styleStrategy() & QFont::PreferNoShaping)) {
        QFont f = font();
        f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::PreferNoShaping));
        setFont(f);  // comes back here with the strategy set
        return;
    }
    QPlainTextEdit::changeEvent(event);
}

void TextEdit::setCentred(bool centred) {
    centred_ = centred;
    QTextOption option = document()->defaultTextOption();
    const Qt::Alignment alignment = centred ? Qt::AlignHCenter : Qt::AlignLeft;
    // A new option lays the whole text out again, a long paragraph in a
    // tenth of a second: the same one is not set twice.
    if (option.alignment() == alignment) return;
    option.setAlignment(alignment);
    document()->setDefaultTextOption(option);
}

void TextEdit::noteChange(int position, int removed, int added) {
    if (!changed_) {
        pending_ = {position, removed, added, pasting_};
        changed_ = true;
        return;
    }
    pending_.pasted = pending_.pasted || pasting_;
    // One span that covers both the earlier edits and this one.
    const int start = std::min(pending_.position, position);
    const int endNow = std::max(pending_.position + pending_.added, position + removed);
    const int endBefore = endNow - pending_.added + pending_.removed;
    pending_ = {start, endBefore - start, endNow - removed + added - start, pending_.pasted};
}

TextEdit::Span TextEdit::takeChange() {
    const int length = document()->characterCount() - 1;
    Span s = changed_ ? pending_ : Span{};
    // The document counts its final paragraph mark, which the text lacks.
    const int excess = s.position + s.added - length;
    if (excess > 0) {
        s.added -= std::min(excess, s.added);
        s.removed -= std::min(excess, s.removed);
    }
    if (s.position > length || reportedLength_ - s.removed + s.added != length) s = {0, reportedLength_, length, s.pasted};
    changed_ = false;
    reportedLength_ = length;
    return s;
}

void TextEdit::repaintFrom(const QTextBlock& block) {
    QRect area = viewport()->rect();
    if (block.isValid()) {
        // What lies above the changed paragraph is as it was.
        const int top = static_cast<int>(std::floor(blockBoundingGeometry(block).translated(contentOffset()).top())) - 1;
        area.setTop(std::clamp(top, 0, area.bottom() + 1));
    }
    if (area.isEmpty()) return;
    viewport()->update(area);
    emit updateRequest(area, 0);
}

void TextEdit::keepLayoutOf(int position) {
    // The paragraph being typed in keeps its shaped text between keys: the
    // toolkit otherwise shapes it again to place the cursor and to paint it.
    // Only that one, so the memory it takes stays that of one paragraph.
    const QTextBlock block = document()->findBlock(position);
    const QTextBlock kept = keptLayout_.block();
    if (kept == block && block.layout()->cacheEnabled()) return;
    if (kept.isValid() && kept != block) kept.layout()->setCacheEnabled(false);
    if (block.isValid()) block.layout()->setCacheEnabled(true);
    keptLayout_.setPosition(block.isValid() ? block.position() : 0);
}

void TextEdit::onContentsChange(int position, int removed, int added) {
    noteChange(position, removed, added);
    // A new text puts the caret at its start: that paragraph keeps its
    // layout from the first, or placing the caret shapes it all again. The
    // pieces of a long text going in come after it and change nothing there.
    // Otherwise the caret is where the change ends, a line break's new
    // paragraph: that one is laid out next, and should keep what it gets.
    // An input method's text is told as a change of its whole paragraph.
    if (setting_ && position == 0) {
        keepLayoutOf(0);
    } else if (!setting_) {
        const QTextBlock first = document()->findBlock(position);
        const bool whole = position == first.position() && removed == added && added == first.length();
        keepLayoutOf(whole ? position : std::min(position + added, document()->characterCount() - 1));
    }
    // Only what the user adds needs checking; the program's own text is GBK.
    if (setting_ || fixing_ || programEdit_ || added <= 0) return;
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.setPosition(std::min(position + added, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    QString safe = cursor.selectedText();  // block breaks read as U+2029
    if (!makeGbkSafe(safe)) return;
    fixing_ = true;
    cursor.insertText(safe);
    fixing_ = false;
    emit contentChanged();
}

void TextEdit::endUndoStep() {
    // The document merges a typed character into the edit before it only
    // while it counts as modified since its last clean state: marking that
    // state here starts the next edit as an undo step of its own.
    if (document()->isUndoRedoEnabled()) document()->setModified(false);
}

void TextEdit::typingAt(qint64 now) {
    if (lastTypedAt_ && now - *lastTypedAt_ >= kUndoPauseMs) endUndoStep();
    lastTypedAt_ = now;
}

void TextEdit::inputMethodEvent(QInputMethodEvent* event) {
    // An input method's commit is one step, whatever came before or after it.
    const bool commit = !event->commitString().isEmpty();
    if (commit) endUndoStep();
    QPlainTextEdit::inputMethodEvent(event);
    if (commit) {
        endUndoStep();
        lastTypedAt_ = undoClock_ ? undoClock_() : QDateTime::currentMSecsSinceEpoch();
    }
}

void TextEdit::focusOutEvent(QFocusEvent* event) {
    // A dialog, a menu or another box took the keys: what comes after is a new step.
    endUndoStep();
    QPlainTextEdit::focusOutEvent(event);
}

void TextEdit::keyPressEvent(QKeyEvent* event) {
    const int vk = virtualKey(event->key());
    if (vk) emit keyDown(vk, modifierBits(event->modifiers()));
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    // A save closes the step typed before it.
    if (ctrl && event->key() == Qt::Key_S) endUndoStep();
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool edits = !isReadOnly() && (lineBreak || event->key() == Qt::Key_Backspace ||
                                         event->key() == Qt::Key_Delete || (!ctrl && !event->text().isEmpty()));
    if (edits) {
        typingAt(undoClock_ ? undoClock_() : QDateTime::currentMSecsSinceEpoch());
        if (lineBreak) endUndoStep();
    }
    // Undo and redo reach the documents a text replaced whole left behind.
    if (!isReadOnly() && ((event->matches(QKeySequence::Undo) && !document()->isUndoAvailable() && !earlier_.empty()) ||
                          (event->matches(QKeySequence::Redo) && !document()->isRedoAvailable() && !later_.empty()))) {
        event->matches(QKeySequence::Undo) ? undoEdit() : redoEdit();
        event->accept();
        return;
    }
    // Moves by line and page go by the lines laid out.
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down || event->key() == Qt::Key_PageUp ||
        event->key() == Qt::Key_PageDown)
        settleNearCaret();
    // Tab types a tab in the text; Ctrl+Tab leaves the box, as the keyboard's only way out.
    if (!isReadOnly() && (event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    // A sentence's end and a line break close the step they end.
    static const QString sentenceEnds = QStringLiteral("。！？…!?");
    if (edits && (lineBreak || (!event->text().isEmpty() && sentenceEnds.contains(event->text().back()))))
        endUndoStep();
}

void TextEdit::contextMenuEvent(QContextMenuEvent* event) {
    // The menu is a window of its own and would keep the desktop's colours:
    // it takes the main window's, as the start menu does.
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    menu->setObjectName(QStringLiteral("bodyMenu"));
    // Its undo and redo reach as far as the keys do.
    const auto reach = [this, &menu](const QString& name, bool can, void (TextEdit::*step)()) {
        QAction* item = menu->findChild<QAction*>(name);
        if (!item || !can || isReadOnly()) return;
        item->setEnabled(true);
        QObject::disconnect(item, &QAction::triggered, nullptr, nullptr);
        connect(item, &QAction::triggered, this, step);
    };
    reach(QStringLiteral("edit-undo"), !earlier_.empty(), &TextEdit::undoEdit);
    reach(QStringLiteral("edit-redo"), !later_.empty(), &TextEdit::redoEdit);
    menu->setPalette(window()->palette());
    menu->exec(event->globalPos());
}

bool TextEdit::canInsertFromMimeData(const QMimeData* source) const {
    return !localFiles(source).isEmpty() || QPlainTextEdit::canInsertFromMimeData(source);
}

void TextEdit::insertFromMimeData(const QMimeData* source) {
    // Files dropped or pasted onto the body open as files, not as path text.
    const QStringList files = localFiles(source);
    if (!files.isEmpty()) {
        emit filesDropped(files);
        return;
    }
    // A paste is a step of its own.
    endUndoStep();
    pasting_ = true;
    QPlainTextEdit::insertFromMimeData(source);
    pasting_ = false;
    endUndoStep();
}

}  // namespace talery
