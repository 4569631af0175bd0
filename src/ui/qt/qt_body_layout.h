#pragma once
// The body's document layout: the toolkit's plain-text layout, with a long
// paragraph laid out again only where a change reaches. It also tells which
// paragraph a change starts in: the toolkit repaints the whole box whenever
// a change adds or removes a line, and nothing above that paragraph moves.

#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QTextBlock>

#include <climits>
#include <memory>
#include <vector>

class QWidget;

namespace talery {

class BodyLayout : public QPlainTextDocumentLayout {
    Q_OBJECT
public:
    explicit BodyLayout(QTextDocument* document);
    ~BodyLayout() override;

    void documentChanged(int from, int removed, int added) override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    // While a whole-box repaint is asked for: the paragraph of the change it
    // follows, invalid when it follows none (a new width, a new font).
    QTextBlock changedFrom() const { return changedFrom_; }

    // The widget whose width the text wraps at and whose height tells how
    // many lines past a change are laid out exactly.
    void setView(QWidget* viewport);

    // A long paragraph's lines past those laid out exactly are estimates;
    // the box settles them before it shows them or moves the caret there.
    // The first estimated line of `block`, or -1.
    int estimatedLine(const QTextBlock& block) const;
    std::vector<QTextBlock> estimatedBlocks() const;
    // Lays out exactly up to `lines` more of a paragraph's estimated lines;
    // whether some are left.
    bool settle(const QTextBlock& block, int lines = INT_MAX);
    // What is kept of earlier layouts no longer holds (a new font).
    void forget();

    // Paragraphs of at least this many characters are laid out in part.
    static constexpr int kLongParagraph = 8192;

signals:
    // Some lines are estimates now: settle them once the writer pauses.
    void estimating();

private:
    struct Snapshot;
    bool layOut(const QTextBlock& block, int linesPastChange);
    const Snapshot* liveSnapshot(const QTextBlock& block) const;
    qreal availableWidth() const;
    int linesPastChange() const;
    void dropOldest();
    std::vector<std::shared_ptr<const Snapshot>> snapshots_;
    QTextBlock changedFrom_;
    QPointer<QWidget> view_;
    int blocks_ = -1;
};

}  // namespace talery
