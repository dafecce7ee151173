#include "app/gui/CPreviewPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "app/CandidateChoice.h"
#include "app/FaceNumbers.h"
#include "app/PortraitCredits.h"
#include "app/gui/LocaleText.h"
#include "app/gui/WindowTexts.h"

namespace norvo {

namespace {

// The picture library's bottom-up BGR bits as a top-down image of their own.
QImage ToImage(PictureHandle picture) {
    const PictureDescription* description = DescribePicture(picture);
    const int width = description->header->biWidth;
    const int height = description->header->biHeight;
    const QImage view(description->bits, width, height,
                      static_cast<qsizetype>(PictureStride(width)), QImage::Format_BGR888);
    return view.mirrored(false, true);
}

size_t Index(BlendStyle style) {
    return static_cast<size_t>(style);
}

size_t Index(RunSide side) {
    return static_cast<size_t>(side);
}

QString SideName(RunSide side) {
    return side == RunSide::Body ? QStringLiteral("Body") : QStringLiteral("Face");
}

}  // namespace

const QString& CPreviewPane::NaturalLabel() {
    static const QString label = ShownText(kNaturalCheckText);
    return label;
}

CPreviewPane::CPreviewPane(PortraitPreview& portrait, QWidget* parent)
    : QWidget(parent), m_portrait(portrait), m_choices(portrait.Choices()) {
    setObjectName(QStringLiteral("previewPane"));
    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("previewPicture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFixedSize(kPictureWidth, kPictureHeight);
    m_checkNatural = new QCheckBox(NaturalLabel(), this);
    m_checkNatural->setObjectName(QStringLiteral("checkNatural"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("previewNote"));
    m_note->setWordWrap(true);
    m_note->setFixedWidth(kPictureWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_picture);
    if (m_choices) {
        m_hint = new QLabel(ShownText(kFaceClickHintText), this);
        m_hint->setObjectName(QStringLiteral("faceHint"));
        m_hint->setWordWrap(true);
        m_hint->setFixedWidth(kPictureWidth);
        layout->addWidget(m_hint);
        m_picture->installEventFilter(this);
    }
    layout->addWidget(m_checkNatural);
    layout->addWidget(m_note);
    if (m_choices) {
        layout->addWidget(MakeSidePanel(RunSide::Body));
        layout->addWidget(MakeSidePanel(RunSide::Face));
        RefreshSide(RunSide::Body);
        RefreshSide(RunSide::Face);
    }
    layout->addStretch(1);

    const BlendStyle start = m_portrait.Chosen();
    m_checkNatural->setChecked(start == BlendStyle::Natural);
    Show(start);
    // The run asked for the natural portrait and could not make it: say why from the start.
    if (m_portrait.Ready(BlendStyle::Natural) && !m_portrait.Portrait(BlendStyle::Natural)) {
        Show(BlendStyle::Natural);
    }
    connect(m_checkNatural, &QCheckBox::toggled, this, &CPreviewPane::OnToggled);
}

CPreviewPane::~CPreviewPane() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

QWidget* CPreviewPane::MakeSidePanel(RunSide side) {
    const QString name = SideName(side);
    auto* box =
        new QGroupBox(ShownText(side == RunSide::Body ? kBodyRoleText : kFaceRoleText), this);
    box->setFixedWidth(kPictureWidth);
    SidePanel& panel = m_sides[Index(side)];
    panel.thumbnail = new QLabel(box);
    panel.thumbnail->setObjectName(QStringLiteral("thumbnail") + name);
    panel.thumbnail->setFixedSize(kThumbnailSide, kThumbnailSide);
    panel.thumbnail->setAlignment(Qt::AlignCenter);
    panel.who = new QLabel(box);
    panel.who->setObjectName(QStringLiteral("who") + name);
    panel.who->setWordWrap(true);
    panel.people = new QComboBox(box);
    panel.people->setObjectName(QStringLiteral("people") + name);
    panel.people->setPlaceholderText(ShownText(kChoosePersonText));
    panel.people->setToolTip(ShownText(kChoosePersonText));
    panel.previous = new QToolButton(box);
    panel.previous->setObjectName(QStringLiteral("previous") + name);
    panel.previous->setArrowType(Qt::LeftArrow);
    panel.previous->setToolTip(ShownText(kPreviousPictureText));
    panel.count = new QLabel(box);
    panel.count->setObjectName(QStringLiteral("count") + name);
    panel.next = new QToolButton(box);
    panel.next->setObjectName(QStringLiteral("next") + name);
    panel.next->setArrowType(Qt::RightArrow);
    panel.next->setToolTip(ShownText(kNextPictureText));

    auto* grid = new QGridLayout(box);
    grid->addWidget(panel.thumbnail, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(panel.who, 0, 1, 1, 3);
    grid->addWidget(panel.people, 1, 1, 1, 3);
    grid->addWidget(panel.previous, 2, 1);
    grid->addWidget(panel.count, 2, 2, Qt::AlignCenter);
    grid->addWidget(panel.next, 2, 3);
    grid->setColumnStretch(2, 1);

    auto choosePicture = [this, side](int step) {
        const std::size_t index = m_choices->Side(side).chosen + step;
        RunInBackground([this, side, index] { return m_choices->ChoosePicture(side, index); },
                        [this, side](bool) { ShowChoice(side); });
    };
    connect(panel.previous, &QToolButton::clicked, this, [choosePicture] { choosePicture(-1); });
    connect(panel.next, &QToolButton::clicked, this, [choosePicture] { choosePicture(1); });
    connect(panel.people, &QComboBox::activated, this, [this, side](int row) {
        const std::string id = m_sides[Index(side)].people->itemData(row).toString().toStdString();
        const SideCandidates& candidates = m_choices->Side(side);
        if (id == candidates.pictures[candidates.chosen].credit.personId) {
            return;
        }
        RunInBackground([this, side, id] { return m_choices->ChoosePerson(side, id); },
                        [this, side](bool) { ShowChoice(side); });
    });
    return box;
}

void CPreviewPane::RefreshSide(RunSide side) {
    const SideCandidates& candidates = m_choices->Side(side);
    SidePanel& panel = m_sides[Index(side)];
    if (PictureHandle picture = m_choices->Picture(side)) {
        panel.thumbnail->setPixmap(QPixmap::fromImage(ToImage(picture).scaled(
            kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    panel.who->setText(QString::fromStdString(WhoIsIn(candidates)));
    const std::size_t count = candidates.pictures.size();
    panel.count->setText(QStringLiteral("%1 / %2").arg(candidates.chosen + 1).arg(count));
    panel.previous->setEnabled(!IsBusy() && candidates.chosen > 0);
    panel.next->setEnabled(!IsBusy() && candidates.chosen + 1 < count);

    // Only a name that stands for several people offers them.
    const QSignalBlocker quiet(panel.people);
    panel.people->clear();
    const std::string& shownId = candidates.pictures[candidates.chosen].credit.personId;
    for (const Person& person : candidates.people) {
        QString label = QString::fromStdString(person.name);
        if (!person.description.empty()) {
            label += QStringLiteral(" — ") + QString::fromStdString(person.description);
        }
        panel.people->addItem(label, QString::fromStdString(person.id));
        if (person.id == shownId) {
            panel.people->setCurrentIndex(panel.people->count() - 1);
        }
    }
    if (shownId.empty() || panel.people->currentData().toString().toStdString() != shownId) {
        panel.people->setCurrentIndex(-1);
    }
    panel.people->setVisible(candidates.people.size() > 1);
    if (side == RunSide::Body && m_hint) {
        m_hint->setVisible(m_choices->BodyFaces().size() > 1);
    }
}

void CPreviewPane::ShowChoice(RunSide side) {
    RefreshSide(side);
    Show(m_shown);
}

void CPreviewPane::SetControlsEnabled(bool enabled) {
    m_checkNatural->setEnabled(enabled && !m_naturalFailed);
    if (!m_choices) {
        return;
    }
    for (RunSide side : {RunSide::Body, RunSide::Face}) {
        const SideCandidates& candidates = m_choices->Side(side);
        SidePanel& panel = m_sides[Index(side)];
        panel.people->setEnabled(enabled);
        panel.previous->setEnabled(enabled && candidates.chosen > 0);
        panel.next->setEnabled(enabled && candidates.chosen + 1 < candidates.pictures.size());
    }
}

void CPreviewPane::RunInBackground(std::function<bool()> job, std::function<void(bool)> done) {
    if (m_worker.joinable()) {
        return;
    }
    SetControlsEnabled(false);
    setCursor(Qt::BusyCursor);
    m_whenDone = std::move(done);
    m_worker = std::thread([this, job = std::move(job)] {
        m_workResult = job();
        QMetaObject::invokeMethod(
            this, [this] { OnWorkDone(); }, Qt::QueuedConnection);
    });
}

void CPreviewPane::OnWorkDone() {
    // Finish() may have taken the result already.
    if (!m_worker.joinable()) {
        return;
    }
    m_worker.join();
    unsetCursor();
    SetControlsEnabled(true);
    std::exchange(m_whenDone, nullptr)(m_workResult);
}

void CPreviewPane::Finish() {
    if (m_worker.joinable()) {
        OnWorkDone();
    }
}

void CPreviewPane::OnToggled(bool natural) {
    const BlendStyle style = natural ? BlendStyle::Natural : BlendStyle::Classic;
    if (m_worker.joinable()) {
        return;
    }
    if (m_portrait.Ready(style)) {
        Show(style);
        return;
    }
    // Only the natural portrait is ever made here; the box waits until it is there.
    RunInBackground(
        [this, style] {
            m_portrait.Portrait(style);
            return true;
        },
        [this, style](bool) { Show(style); });
}

void CPreviewPane::Show(BlendStyle style) {
    if (m_choices) {
        // A choice made the portraits again: what was shown of them is gone.
        m_images = {};
        m_problem = ShownText(m_choices->Problem());
    }
    PictureHandle picture = m_portrait.Portrait(style);
    if (!picture) {
        const QSignalBlocker quiet(m_checkNatural);
        m_naturalFailed = true;
        m_checkNatural->setChecked(false);
        m_checkNatural->setEnabled(false);
        style = BlendStyle::Classic;
        picture = m_portrait.Portrait(style);
    }
    QImage& image = m_images[Index(style)];
    if (image.isNull() && picture) {
        image = ToImage(picture).scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation);
    }
    m_shown = style;
    if (!m_choices || image.isNull()) {
        m_picture->setPixmap(QPixmap::fromImage(image));
    } else {
        // Each body face outlined: solid while it is replaced, dashed while it keeps its own.
        QImage outlined = image;
        QPainter painter(&outlined);
        painter.setRenderHint(QPainter::Antialiasing);
        const std::vector<bool> on = m_choices->FacesOn();
        const QPoint origin((kPictureWidth - image.width()) / 2,
                            (kPictureHeight - image.height()) / 2);
        for (std::size_t i = 0; i < on.size(); ++i) {
            painter.setPen(QPen(on[i] ? QColor(40, 200, 80) : QColor(255, 255, 255), 2,
                                on[i] ? Qt::SolidLine : Qt::DashLine));
            painter.drawEllipse(FaceRect(i).translated(-origin));
        }
        painter.end();
        m_picture->setPixmap(QPixmap::fromImage(outlined));
    }
    ShowNote();
    emit portraitShown(style);
}

void CPreviewPane::ShowNote() {
    // The natural portrait's note while it is on show, or for good once it failed; then why
    // the last choice could not be made.
    const bool natural = m_shown == BlendStyle::Natural || m_naturalFailed;
    QString note = natural && m_portrait.Ready(BlendStyle::Natural)
                       ? ShownText(m_portrait.Note(BlendStyle::Natural))
                       : QString();
    if (!m_problem.isEmpty()) {
        note += (note.isEmpty() ? QString() : QStringLiteral("\n")) + m_problem;
    }
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

bool CPreviewPane::BodyToLabel(double& scaleX, double& scaleY, QPoint& origin) const {
    PictureHandle body = m_choices ? m_choices->Picture(RunSide::Body) : nullptr;
    const QImage& image = m_images[Index(m_shown)];
    if (!body || image.isNull()) {
        return false;
    }
    const PictureDescription* description = DescribePicture(body);
    scaleX = double(image.width()) / description->header->biWidth;
    scaleY = double(image.height()) / std::abs(description->header->biHeight);
    origin = QPoint((kPictureWidth - image.width()) / 2, (kPictureHeight - image.height()) / 2);
    return true;
}

QRect CPreviewPane::FaceRect(std::size_t index) const {
    double scaleX = 0;
    double scaleY = 0;
    QPoint origin;
    if (!BodyToLabel(scaleX, scaleY, origin)) {
        return {};
    }
    const FaceBoxList faces = m_choices->BodyFaces();
    if (index >= faces.size()) {
        return {};
    }
    const FaceBox& box = faces[index];
    return QRect(QPoint(int(box.left * scaleX), int(box.top * scaleY)),
                 QPoint(int(box.right * scaleX) - 1, int(box.bottom * scaleY) - 1))
        .translated(origin);
}

bool CPreviewPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_picture && event->type() == QEvent::MouseButtonRelease) {
        const auto* click = static_cast<QMouseEvent*>(event);
        if (click->button() == Qt::LeftButton) {
            OnPictureClicked(click->position().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CPreviewPane::OnPictureClicked(QPoint at) {
    if (IsBusy()) {
        return;
    }
    double scaleX = 0;
    double scaleY = 0;
    QPoint origin;
    if (!BodyToLabel(scaleX, scaleY, origin)) {
        return;
    }
    const std::optional<std::size_t> hit = FaceAt(
        m_choices->BodyFaces(), (at.x() - origin.x()) / scaleX, (at.y() - origin.y()) / scaleY);
    if (!hit) {
        return;
    }
    const std::size_t index = *hit;
    RunInBackground([this, index] { return m_choices->ToggleFace(index); },
                    [this](bool) { Show(m_shown); });
}

}  // namespace norvo
