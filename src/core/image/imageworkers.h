#pragma once

#include "core/image/bitmap.h"

#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <mutex>
#include <thread>
#include <vector>

/// What decoding and rescaling one source depends on: the settings as they
/// stood when the work was asked for.
struct PrepareRequest {
    QString path;
    ImageFormat format = ImageFormat::Jpeg;
    bool fast = false;   ///< JPEG decoded at a reduced scale that still covers the large width
    int largeWidth = 0;
    int smallWidth = 0;

    bool operator==(const PrepareRequest&) const = default;
};

/// Largest source the program decodes, in pixels (about 450 MB in memory at
/// 24 bits): a camera's largest photo is a tenth of it. A header claiming
/// more is refused before anything is allocated.
inline constexpr qint64 kMaxSourcePixels = 150'000'000;
/// Largest copy the program makes, in pixels: far beyond any web image, and
/// small enough that a mistyped width cannot exhaust memory.
inline constexpr qint64 kMaxTargetPixels = 50'000'000;

/// A source decoded and made into its two copies.
struct PreparedImages {
    bool decoded = false;
    bool tooLarge = false;  ///< refused: source or copy beyond the pixel limits
    int sourceWidth = 0;   ///< true size of the source, whatever scale it was decoded at
    int sourceHeight = 0;
    Bitmap large;
    Bitmap small;
};

/// The size of a JPEG from its header alone; nothing when it cannot be read.
struct ImageSize {
    int width = 0;
    int height = 0;
};
std::optional<ImageSize> jpegHeaderSize(const QString& path);
/// The same for any format the program reads.
std::optional<ImageSize> headerSize(ImageFormat format, const QString& path);

/// The largest of 8, 4, 2 that, dividing the width (rounded up), still
/// leaves at least `targetWidth` pixels across; 1 when none does.
int jpegReduction(ImageSize size, int targetWidth);
/// The size hint that makes the JPEG decoder scale by that much; 0 when the
/// image must be decoded whole. Chosen from both sides, since the decoder
/// compares the hint with the longer one.
int jpegSizeHint(ImageSize size, int targetWidth);

/// Decodes the source (converting deep-colour images to 24 bits) and makes
/// the large and the small copy from it, the small one from the source too.
/// Sizes follow the true source size: the large copy is largeWidth ×
/// round(H × largeWidth ÷ W), half to even.
PreparedImages prepareImages(const PrepareRequest& request);

/// A fixed set of threads that prepare sources in the order asked. Each
/// piece of work gets a future; the destructor lets the work in hand finish.
class ImageWorkers {
public:
    explicit ImageWorkers(int threads);
    ~ImageWorkers();
    ImageWorkers(const ImageWorkers&) = delete;
    ImageWorkers& operator=(const ImageWorkers&) = delete;

    std::shared_future<std::shared_ptr<PreparedImages>> submit(const PrepareRequest& request);
    int threadCount() const { return int(m_threads.size()); }

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

class UiServices;

/// The sources of the rows ahead, prepared by the workers while the run
/// stamps and saves the row in hand. A row uses its prepared images only when
/// they were made with the settings its own steps read; otherwise the work is
/// done again with the settings as they are now.
class RowPreparation {
public:
    explicit RowPreparation(int threads) : m_workers(threads) {}

    /// Starts preparing the row at `key` (its offset in the walk) unless the
    /// same work is already under way.
    void schedule(qint64 key, const PrepareRequest& request);

    /// The row's images made for exactly `request`: the scheduled ones when
    /// they match, else fresh work. Waits through `ui` without yielding.
    std::shared_ptr<PreparedImages> obtain(qint64 key, const PrepareRequest& request, UiServices& ui);

    /// Drops what was prepared for rows before `key` (they are done).
    void forgetBefore(qint64 key);

    int threadCount() const { return m_workers.threadCount(); }

private:
    struct Entry {
        PrepareRequest request;
        std::shared_future<std::shared_ptr<PreparedImages>> result;
    };
    ImageWorkers m_workers;
    QHash<qint64, Entry> m_entries;
};
