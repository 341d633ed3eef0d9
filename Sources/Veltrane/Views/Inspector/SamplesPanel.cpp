#include "Veltrane/Views/Inspector/SamplesPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SampleBrowserOrder.hpp"
#include "Veltrane/Views/Inspector/SampleBrowserRow.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

namespace veltrane {

using namespace inspector;

namespace {

/// A rounded rectangle of the window text colour at a low opacity behind its children, with a dashed
/// outline when `dashed`.
class RoundedPanel : public QWidget {
public:
    RoundedPanel(double radius, double fillOpacity, bool dashed, QWidget* parent)
        : QWidget(parent), radius_(radius), fillOpacity_(fillOpacity), dashed_(dashed)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath shape;
        shape.addRoundedRect(box, radius_, radius_);
        painter.fillPath(shape, withOpacity(palette().color(QPalette::WindowText), fillOpacity_));
        if (!dashed_) return;
        QPen outline(withOpacity(secondaryTextColor(*this), 0.35), 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        outline.setDashPattern({5, 4});
        painter.setPen(outline);
        painter.drawPath(shape);
    }

private:
    double radius_;
    double fillOpacity_;
    bool dashed_;
};

/// The import zone: takes dropped files and hands them on; it shows no highlight while a drag hovers.
class DropZone final : public RoundedPanel {
public:
    explicit DropZone(QWidget* parent) : RoundedPanel(10, 0.04, true, parent) { setAcceptDrops(true); }

    std::function<bool(const QList<QUrl>&)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (onDrop && onDrop(event->mimeData()->urls())) {
            event->acceptProposedAction();
        } else {
            event->ignore();
        }
    }
};

QLabel* symbolLabel(const QString& symbol, int size, QColor colour, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(symbolIcon(symbol, colour).pixmap(QSize(size, size), parent->devicePixelRatioF()));
    label->setProperty(symbolProperty, symbol);
    return label;
}

} // namespace

SamplesPanel::SamplesPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , search_(new QLineEdit(this))
    , list_(new QVBoxLayout)
    , empty_(new QWidget(this))
    , emptyTitle_(new QLabel(empty_))
    , emptyDescription_(new QLabel(empty_))
    , dropZone_(new DropZone(this))
    , import_(new QPushButton(QStringLiteral("Import Samples…"), dropZone_))
    , record_(new QPushButton(dropZone_))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(sectionTitle(QStringLiteral("SAMPLE BROWSER"), this));

    auto* searchBox = new RoundedPanel(8, 0.05, false, this);
    auto* searchRow = new QHBoxLayout(searchBox);
    searchRow->setContentsMargins(8, 8, 8, 8);
    searchRow->addWidget(symbolLabel(QStringLiteral("magnifyingglass"), 14, secondaryTextColor(*this), searchBox));
    search_->setParent(searchBox);
    search_->setPlaceholderText(QStringLiteral("Search names or tags"));
    search_->setAccessibleName(QStringLiteral("Search samples"));
    search_->setFrame(false);
    QPalette clear = search_->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    search_->setPalette(clear);
    searchRow->addWidget(search_, 1);
    column->addWidget(searchBox);
    connect(search_, &QLineEdit::textChanged, this, [this] { refresh(); });

    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(8);
    column->addLayout(list_);

    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setSpacing(6);
    emptyColumn->addStretch(1);
    emptyColumn->addWidget(symbolLabel(QStringLiteral("waveform"), 28, secondaryTextColor(*this), empty_), 0, Qt::AlignHCenter);
    QFont titleFont = emptyTitle_->font();
    titleFont.setPixelSize(15);
    titleFont.setWeight(QFont::DemiBold);
    emptyTitle_->setFont(titleFont);
    emptyTitle_->setAlignment(Qt::AlignCenter);
    emptyDescription_->setFont(captionFont(*this));
    emptyDescription_->setAlignment(Qt::AlignCenter);
    emptyDescription_->setWordWrap(true);
    QPalette secondary = emptyDescription_->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(*this));
    emptyDescription_->setPalette(secondary);
    emptyColumn->addWidget(emptyTitle_);
    emptyColumn->addWidget(emptyDescription_);
    emptyColumn->addStretch(1);
    empty_->setMinimumHeight(130);
    column->addWidget(empty_);

    auto* zone = new QVBoxLayout(dropZone_);
    zone->setContentsMargins(14, 14, 14, 14);
    zone->setSpacing(7);
    zone->addWidget(symbolLabel(QStringLiteral("square.and.arrow.down"), 22, palette().color(QPalette::WindowText), dropZone_), 0,
                    Qt::AlignHCenter);
    auto* hint = new QLabel(QStringLiteral("Drop audio from Finder"), dropZone_);
    QFont hintFont = captionFont(*this);
    hintFont.setWeight(QFont::DemiBold);
    hint->setFont(hintFont);
    zone->addWidget(hint, 0, Qt::AlignHCenter);
    for (auto* button : {import_, record_}) {
        button->setFont(captionFont(*this));
        zone->addWidget(button, 0, Qt::AlignHCenter);
    }
    static_cast<DropZone*>(dropZone_)->onDrop = [this](const QList<QUrl>& urls) { return dropFiles(urls); };
    column->addWidget(dropZone_);
    column->addStretch(1);

    connect(import_, &QPushButton::clicked, this, [this] { model_.importSample(); });
    connect(record_, &QPushButton::clicked, this, [this] { model_.toggleSampleRecording(); });

    watch(&AppModel::projectChanged);
    watch(&AppModel::selectedInstrumentChanged);
    watch(&AppModel::isSampleRecordingChanged);
    watch(&AppModel::missingSampleInstrumentIDsChanged);
}

bool SamplesPanel::dropFiles(const QList<QUrl>& urls)
{
    // Only files on this machine can be read; a list with none adds nothing.
    std::vector<std::filesystem::path> paths;
    for (const auto& url : urls) {
        if (url.isLocalFile()) paths.emplace_back(url.toLocalFile().toStdString());
    }
    return !paths.empty() && model_.importSamples(paths);
}

std::vector<SampleBrowserRow*> SamplesPanel::rows() const
{
    std::vector<SampleBrowserRow*> shown;
    for (int i = 0; i < list_->count(); ++i) {
        if (auto* row = qobject_cast<SampleBrowserRow*>(list_->itemAt(i)->widget())) shown.push_back(row);
    }
    return shown;
}

void SamplesPanel::showModel()
{
    const auto& instruments = model_.project().instruments;
    const auto listed = sampleBrowserOrder(instruments, model_.sampleInstrumentIndices(), search_->text());

    // Rows stay while their instrument is listed, so a field being typed in is not replaced under the user.
    std::map<int, SampleBrowserRow*> kept;
    for (const int index : listed) {
        auto found = rows_.find(index);
        SampleBrowserRow* row = nullptr;
        if (found != rows_.end()) {
            row = found->second;
            rows_.erase(found);
        } else {
            row = new SampleBrowserRow(index, this);
            row->onAudition = [this, index] { model_.auditionInstrument(index); };
            row->onSelect = [this, index] {
                model_.setSelectedInstrument(index);
                emit instrumentChosen();
            };
            row->onFavorite = [this, index](bool favorite) { model_.setSampleFavorite(index, favorite); };
            row->onLocate = [this, index] { model_.relinkSample(index); };
            row->onTagsEdited = [this, index](const QString& text) { model_.setSampleTags(index, text.toStdString()); };
        }
        kept[index] = row;
    }
    for (auto& [index, row] : rows_) {
        row->hide();
        row->deleteLater();
    }
    rows_ = std::move(kept);
    while (list_->count() > 0) delete list_->takeAt(0);
    for (const int index : listed) {
        SampleBrowserRow* row = rows_.at(index);
        const bool missing = model_.isSampleMissing(index);
        row->showInstrument(instruments[static_cast<std::size_t>(index)], index == model_.selectedInstrument(), missing,
                  missing ? std::vector<float>{} : model_.samplePeaks(index));
        list_->addWidget(row);
        row->setVisible(true);
    }

    empty_->setVisible(listed.empty());
    const bool searching = !search_->text().isEmpty();
    emptyTitle_->setText(searching ? QStringLiteral("No Matches") : QStringLiteral("No Samples"));
    emptyDescription_->setText(searching ? QStringLiteral("Try another name or tag.")
                                         : QStringLiteral("Drop audio files here or import from Finder."));

    const bool recording = model_.isSampleRecording();
    const QColor red = Theme::current().red;
    record_->setText(recording ? QStringLiteral("Stop Input Recording") : QStringLiteral("Record Audio Input"));
    setSymbol(record_, recording ? QStringLiteral("stop.circle.fill") : QStringLiteral("mic.circle"),
              recording ? red : palette().color(QPalette::ButtonText));
    QPalette recordPalette = palette();
    if (recording) recordPalette.setColor(QPalette::ButtonText, red);
    record_->setPalette(recordPalette);
}

} // namespace veltrane
