#include "app/gui/CPreviewPane.h"

#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QVBoxLayout>

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

}  // namespace

const QString& CPreviewPane::NaturalLabel() {
    static const QString label = ShownText(kNaturalCheckText);
    return label;
}

CPreviewPane::CPreviewPane(PortraitPreview& portrait, QWidget* parent)
    : QWidget(parent), m_portrait(portrait) {
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
    layout->addWidget(m_checkNatural);
    layout->addWidget(m_note);
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

void CPreviewPane::OnToggled(bool natural) {
    const BlendStyle style = natural ? BlendStyle::Natural : BlendStyle::Classic;
    if (m_worker.joinable()) {
        return;
    }
    if (m_portrait.Ready(style)) {
        Show(style);
        return;
    }
    // Only the natural portrait is ever made here, once; the box waits until it is there.
    m_checkNatural->setEnabled(false);
    setCursor(Qt::BusyCursor);
    m_worker = std::thread([this, style] {
        m_portrait.Portrait(style);
        QMetaObject::invokeMethod(
            this, [this, style] { OnMade(style); }, Qt::QueuedConnection);
    });
}

void CPreviewPane::OnMade(BlendStyle style) {
    // Finish() may have taken the result already.
    if (!m_worker.joinable()) {
        return;
    }
    m_worker.join();
    unsetCursor();
    m_checkNatural->setEnabled(true);
    Show(style);
}

void CPreviewPane::Finish() {
    if (m_worker.joinable()) {
        OnMade(m_checkNatural->isChecked() ? BlendStyle::Natural : BlendStyle::Classic);
    }
}

void CPreviewPane::Show(BlendStyle style) {
    PictureHandle picture = m_portrait.Portrait(style);
    if (!picture) {
        const QSignalBlocker quiet(m_checkNatural);
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
    m_picture->setPixmap(QPixmap::fromImage(image));
    m_shown = style;
    ShowNote();
    emit portraitShown(style);
}

void CPreviewPane::ShowNote() {
    // The natural portrait's note while it is on show, or for good once it failed.
    const bool natural = m_shown == BlendStyle::Natural || !m_checkNatural->isEnabled();
    const QString note = natural && m_portrait.Ready(BlendStyle::Natural)
                             ? ShownText(m_portrait.Note(BlendStyle::Natural))
                             : QString();
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

}  // namespace norvo
