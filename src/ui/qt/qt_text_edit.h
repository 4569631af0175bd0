#pragma once
// The body box of the window.

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace talery {

// Multi-line edit box; the same "?" rule for everything the user adds.
class TextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextEdit(QWidget* parent);
    // Replaces the whole content without treating it as typed.
    void setContent(const QString& text);
    // The same for a long text that arrives in pieces: `next` gives the next
    // one, or nothing at the end; the first is laid out at once, so a small
    // one keeps that step short. `between` is called between the pieces (the
    // window repaints there); the change is still reported once.
    using Pieces = std::function<std::optional<QString>()>;
    void setContent(const Pieces& next, const std::function<void()>& between);
    // The content, also when a read-only box on a hidden page has not taken
    // it yet: such a box lays its text out when it is shown, not on every
    // change (the statistics box changes with every key).
    QString content() const;
    void setCentred(bool centred);
    bool centred() const { return centred_; }
    // The bottom rows a sibling stacked above hides. The text stops above
    // them: the toolkit repaints a whole covered box on every scroll, where
    // an uncovered one only moves its pixels and paints the new line.
    void setCoveredBottom(int pixels);
    // Text statistics: the span of characters the last edits touched, since
    // the previous contentChanged; taken by whoever reports the change.
    struct Span {
        int position = 0, removed = 0, added = 0;
        bool pasted = false;
    };
    Span takeChange();
    // Undo in a writer's steps: one undo takes back at most one step, and a
    // step ends at a pause in the typing, after a sentence's end, at a line
    // break, around a paste, an input method's commit and the program's own
    // edits, at a save and when the focus leaves the box.
    void endUndoStep();
    // The program's own edits put in text that came from GBK: the "?" rule
    // need not read it back (a laid-out novel is millions of characters).
    void setProgramEdit(bool on) { programEdit_ = on; }
    // Puts head, middle and tail in place of everything, as one edit and one
    // undo step, the change reported being the middle's; `cursor` ends after
    // the middle. For a new text that differs from the old nearly throughout.
    // `more` gives the rest of the middle piece by piece, so it can be made
    // meanwhile. The middle comes from GBK: only a character that could not
    // be decoded needs the "?" rule.
    void replaceEverything(QTextCursor& cursor, const QString& head, const QString& middle, const QString& tail,
                           const Pieces& more = {});
    // Undo and redo: Ctrl+Z, Ctrl+Y and the menu's items, also across a text
    // replaced whole.
    void undoEdit();
    void redoEdit();
    static constexpr qint64 kUndoPauseMs = 1000;
    // Milliseconds of a steady clock; tests give their own.
    void setUndoClock(std::function<qint64()> now) { undoClock_ = std::move(now); }
signals:
    void keyDown(int key, int modifiers);
    void contentChanged();
    void filesDropped(const QStringList& paths);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // A whole text replaced goes into a document of its own: the old one is
    // kept as it was, with its undo steps, for undo to go back to; what
    // lies beyond those steps is the document before or after it here.
    struct Parked {
        QTextDocument* document;
        int anchor, position, scroll;
    };
    QTextDocument* newDocument();
    void adopt(QTextDocument* document);
    void park(std::vector<Parked>& into);
    void unpark(std::vector<Parked>& from, std::vector<Parked>& into);
    static void drop(std::vector<Parked>& parked);
    void forgetLater() { drop(later_); }
    void tellRemoved(int removed);
    void report(const Span& span);
    std::vector<Parked> earlier_, later_;
    void onLayoutUpdate();
    // A long paragraph's estimated lines are laid out exactly before they
    // are shown or the caret goes into them, and a slice at a time once the
    // writer pauses.
    void settleShown();
    void settleAtCaret();
    void settleNearCaret();
    void settleSome();
    void settleAfterPause();
    QTimer* settleTimer_;
    class BodyLayout* bodyLayout() const;
    void onContentsChange(int position, int removed, int added);
    void noteChange(int position, int removed, int added);
    void keepLayoutOf(int position);
    void repaintFrom(const QTextBlock& block);
    bool setting_ = false;
    bool loading_ = false;  // a long text going in: its change is reported at the end
    // Follows the paragraph whose layout is kept between paints.
    QTextCursor keptLayout_;
    // Text statistics: the pending span, and the length the last report left.
    Span pending_{};
    bool changed_ = false;
    int reportedLength_ = 0;
    std::optional<QString> deferred_;
    bool fixing_ = false;
    bool programEdit_ = false;
    bool pasting_ = false;
    bool centred_ = false;
    // Undo steps: when the last key that edited came.
    void typingAt(qint64 now);
    std::function<qint64()> undoClock_;
    std::optional<qint64> lastTypedAt_;
};

}  // namespace talery
