#pragma once
// The replay bar's own controls beside its three buttons: the play speed, a slider over every
// record of the file and the text "record 1,234 of 56,789" with the indexing progress while the
// file is still being indexed. They forward to the replay session and show what it reports; the
// position of the slider is never read to learn where the replay is.

#include <QWidget>

class ReplaySession;
class QComboBox;
class QLabel;
class QSlider;
class QTimer;

class ReplayControls : public QWidget
{
    Q_OBJECT
public:
    explicit ReplayControls(ReplaySession* session, QWidget* parent = nullptr);

    QComboBox* speedBox() const { return m_speedBox; }
    QSlider* slider() const { return m_slider; }
    QLabel* positionLabel() const { return m_positionLabel; }

    // "record 1,234 of 56,789", "record 12 of 1,234,567+ (indexing 45 %)"; record is 0-based.
    static QString positionText(qint64 record, qint64 count, int indexingPercent);

    // A drag seeks at most this often.
    static constexpr int kDragSeekInterval = 60;

private:
    void showPosition();
    void onSliderValue(int value);
    void onIndexProgress(qint64 bytes, qint64 total);

    ReplaySession* m_session;
    QComboBox* m_speedBox = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_positionLabel = nullptr;
    QTimer* m_dragSeek = nullptr;
    int m_pendingSeek = -1;
    int m_indexingPercent = -1; // -1: indexing has finished or not begun
    bool m_updating = false;    // the slider is being set to the replay's position
};
