#include "Veltrane/Views/Help/TrackerHelpView.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/ProductIdentity.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QVBoxLayout>

namespace veltrane {

namespace {

QLabel* textLabel(const QString& text, const QFont& font, QColor colour, QWidget* parent, bool wraps = true)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setWordWrap(wraps);
    setTextColour(label, colour);
    return label;
}

QLabel* heading(const QString& text, QWidget* parent)
{
    const Theme& theme = Theme::current();
    return textLabel(text, theme.monospaced(11, QFont::Bold), theme.secondaryLabel, parent, false);
}

} // namespace

const std::vector<std::pair<QString, QString>>& TrackerHelpView::shortcuts()
{
    // Linux keyboards: Ctrl where other desktops use a command key, and both erase keys clear.
    static const std::vector<std::pair<QString, QString>> rows{
        {QStringLiteral("Play / Stop"), QStringLiteral("Space")},
        {QStringLiteral("Enter notes"), QStringLiteral("Z S X D C\u2026 / Q 2 W 3\u2026")},
        {QStringLiteral("Move"), QStringLiteral("Arrow keys")},
        {QStringLiteral("Select region"), QStringLiteral("Shift + arrows")},
        {QStringLiteral("Move between fields"), QStringLiteral("Tab / \u2190 \u2192")},
        {QStringLiteral("Clear field or selection"), QStringLiteral("Delete / Backspace")},
        {QStringLiteral("Copy / Paste region"), QStringLiteral("Ctrl+C / Ctrl+V")},
        {QStringLiteral("Undo / Redo"), QStringLiteral("Ctrl+Z / Ctrl+Shift+Z")},
        {QStringLiteral("New / Open / Save"), QStringLiteral("Ctrl+N / Ctrl+O / Ctrl+S")},
        // Picking a pattern while one plays switches nothing: the sidebar only marks the pick until Stop.
        {QStringLiteral("Select pattern"), QStringLiteral("Click; while a pattern plays, the pick is only marked")},
    };
    return rows;
}

TrackerHelpView::TrackerHelpView(AppModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("trackerHelp"));
    setWindowTitle(QStringLiteral("Veltrane Help"));
    setFixedSize(sheetWidth, sheetHeight);
    openLink = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* content = new QWidget(scroll_);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(26, 26, 26, 26);
    column->setSpacing(18);

    // Welcome.
    auto* header = new QHBoxLayout;
    header->addWidget(new inspector::SymbolView(QStringLiteral("square.grid.3x3.fill"), theme.accent, 34, content));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(textLabel(QStringLiteral("Welcome to ") + productFullTitle(), theme.interface(22, QFont::Bold), theme.label,
                                content, false));
    titles->addWidget(textLabel(QStringLiteral("Fast entry, deep sound design, native desktop workflow"), theme.interface(13),
                                theme.secondaryLabel, content, false));
    header->addLayout(titles);
    header->addStretch(1);
    done_ = new QPushButton(QStringLiteral("Done"), content);
    done_->setAutoDefault(false);
    connect(done_, &QPushButton::clicked, this, &QDialog::accept);
    header->addWidget(done_);
    column->addLayout(header);

    // First steps.
    column->addWidget(heading(QStringLiteral("GETTING STARTED"), content));
    auto* steps = new QGridLayout;
    steps->setHorizontalSpacing(14);
    steps->setVerticalSpacing(10);
    const QString stepTexts[] = {
        QStringLiteral("Press Space to hear the built-in demo. Use File \u203A Load Demo Project if you want it back."),
        QStringLiteral("Click a tracker cell, then enter notes with the two keyboard rows. Tab moves between fields."),
        QStringLiteral("Build sounds in Instrument, drag samples into Samples, and shape tracks in Mixer and Modulation."),
        QStringLiteral("Save a portable .veltrane project, then export WAV, stems or MIDI from the folder menu."),
    };
    for (int i = 0; i < 4; ++i) {
        steps->addWidget(new inspector::SymbolView(QStringLiteral("%1.circle.fill").arg(i + 1), theme.label, 17, content), i, 0,
                         Qt::AlignTop);
        steps->addWidget(textLabel(stepTexts[i], theme.interface(13), theme.label, content), i, 1);
    }
    steps->setColumnStretch(1, 1);
    column->addLayout(steps);
    column->addWidget(inspector::divider(content));

    // Shortcuts and the effect letters.
    column->addWidget(heading(QStringLiteral("KEYBOARD SHORTCUTS"), content));
    auto* keys = new QGridLayout;
    keys->setHorizontalSpacing(28);
    keys->setVerticalSpacing(8);
    int row = 0;
    for (const auto& [action, keyText] : shortcuts()) {
        keys->addWidget(textLabel(action, theme.interface(13), theme.label, content, false), row, 0);
        keys->addWidget(textLabel(keyText, theme.monospaced(13), theme.secondaryLabel, content, false), row, 1);
        ++row;
    }
    keys->setColumnStretch(1, 1);
    column->addLayout(keys);
    column->addWidget(heading(QStringLiteral("STEP FX"), content));
    // No-break spaces keep each letter with its name when the legend wraps.
    column->addWidget(textLabel(QStringLiteral("A\u00A0Arpeggio \u00B7 R\u00A0Retrigger \u00B7 P\u00A0Pan \u00B7 D\u00A0Delay \u00B7 "
                                               "V\u00A0Vibrato \u00B7 T\u00A0Tremolo \u00B7 S\u00A0Slide \u00B7 H\u00A0Chord \u00B7 C\u00A0Chance"),
                                theme.monospaced(13), theme.label, content));
    column->addWidget(textLabel(QStringLiteral("Instrument, volume and FX values use two hexadecimal digits. Modulation "
                                               "destinations explicitly show whether they update continuously or at note start."),
                                theme.interface(13), theme.secondaryLabel, content));
    column->addWidget(inspector::divider(content));

    // Support.
    column->addWidget(heading(QStringLiteral("SUPPORT & PRIVACY"), content));
    column->addWidget(textLabel(QStringLiteral("Veltrane works offline and sends no analytics or project data. Microphone/audio "
                                               "input is used only when you choose Record. LV2 plug-ins may have their own policies."),
                                theme.interface(13), theme.secondaryLabel, content));
    auto* links = new QHBoxLayout;
    copy_ = new QPushButton(QStringLiteral("Copy Diagnostics"), content);
    copy_->setAutoDefault(false);
    connect(copy_, &QPushButton::clicked, this, &TrackerHelpView::copyDiagnostics);
    website_ = makeLinkButton(QStringLiteral("Veltrane Website"), theme.interface(13), content);
    connect(website_, &QPushButton::clicked, this, [this] { openLink(model_.websiteURL()); });
    maker_ = makeLinkButton(makerName(), theme.interface(13), content);
    connect(maker_, &QPushButton::clicked, this, [this] { openLink(makerWebsite()); });
    links->addWidget(copy_);
    links->addWidget(website_);
    links->addWidget(maker_);
    links->addStretch(1);
    column->addLayout(links);
    column->addStretch(1);

    scroll_->setWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
}

void TrackerHelpView::copyDiagnostics()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(model_.diagnosticsReport()));
    copied_ = true;
    copy_->setText(QStringLiteral("Diagnostics Copied"));
}

bool gettingStartedSeen(QSettings& settings) { return settings.value(QString::fromLatin1(TrackerHelpView::seenKey), false).toBool(); }

TrackerHelpView* presentHelpSheet(QWidget* window, AppModel& model, std::shared_ptr<QSettings> settings)
{
    for (auto* open : window->findChildren<TrackerHelpView*>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) {
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* sheet = new TrackerHelpView(model, window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    // However the sheet goes (Done, Escape, the window's close button), it has been seen.
    QObject::connect(sheet, &QDialog::finished, sheet, [settings = std::move(settings)] {
        settings->setValue(QString::fromLatin1(TrackerHelpView::seenKey), true);
        settings->sync();
    });
    sheet->open();
    return sheet;
}

} // namespace veltrane
