#include "batch/imageworkers.h"

#include "app/shortint.h"
#include "app/uiservices.h"

#include <QFile>

#include <FreeImage.h>

std::optional<ImageSize> jpegHeaderSize(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    FIBITMAP* header = FreeImage_Load(FIF_JPEG, native.constData(), FIF_LOAD_NOPIXELS);
    if (!header)
        return std::nullopt;
    const ImageSize size{int(FreeImage_GetWidth(header)), int(FreeImage_GetHeight(header))};
    FreeImage_Unload(header);
    return size;
}

int jpegSizeHint(ImageSize size, int targetWidth)
{
    if (size.width < 1 || size.height < 1 || targetWidth < 1)
        return 0;
    for (const int denominator : {8, 4, 2}) {
        // The decoder rounds a scaled side up.
        const int scaledWidth = (size.width + denominator - 1) / denominator;
        if (scaledWidth >= targetWidth) {
            const int longer = std::max(size.width, size.height);
            // longer / hint must reach this denominator and stay below the next.
            return std::max(1, longer / denominator);
        }
    }
    return 0;
}

namespace {

int roundedSide(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return int(r);
}

} // namespace

PreparedImages prepareImages(const PrepareRequest& request)
{
    PreparedImages out;
    Bitmap source;
    if (request.fast && request.format == ImageFormat::Jpeg) {
        const std::optional<ImageSize> size = jpegHeaderSize(request.path);
        if (size) {
            out.sourceWidth = size->width;
            out.sourceHeight = size->height;
            source = Bitmap::loadJpegScaled(request.path, jpegSizeHint(*size, request.largeWidth));
        }
    } else {
        source = Bitmap::load(request.format, request.path);
        out.sourceWidth = source.width();
        out.sourceHeight = source.height();
    }
    if (source.isNull())
        return out;
    out.decoded = true;
    if (!source.isJpegEncodable()) {
        // Deep-colour and alpha sources would be refused by the JPEG encoder.
        Bitmap converted = source.convertedTo24Bits();
        if (!converted.isNull())
            source = std::move(converted);
    }
    const double w = out.sourceWidth;
    const double h = out.sourceHeight;
    out.large = source.rescaled(request.largeWidth, roundedSide(h * request.largeWidth / w));
    out.small = source.rescaled(request.smallWidth, roundedSide(h * request.smallWidth / w));
    return out;
}

ImageWorkers::ImageWorkers(int threads)
{
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

ImageWorkers::~ImageWorkers()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();  // work not started is not wanted any more
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

std::shared_future<std::shared_ptr<PreparedImages>> ImageWorkers::submit(const PrepareRequest& request)
{
    auto task = std::make_shared<std::packaged_task<std::shared_ptr<PreparedImages>()>>(
        [request] { return std::make_shared<PreparedImages>(prepareImages(request)); });
    std::shared_future<std::shared_ptr<PreparedImages>> result = task->get_future().share();
    {
        const std::lock_guard lock(m_mutex);
        m_queue.emplace_back([task] { (*task)(); });
    }
    m_wake.notify_one();
    return result;
}

void ImageWorkers::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

void RowPreparation::schedule(qint64 key, const PrepareRequest& request)
{
    const auto it = m_entries.constFind(key);
    if (it != m_entries.constEnd() && it->request == request)
        return;
    m_entries.insert(key, Entry{request, m_workers.submit(request)});
}

std::shared_ptr<PreparedImages> RowPreparation::obtain(qint64 key, const PrepareRequest& request, UiServices& ui)
{
    schedule(key, request);
    const std::shared_future<std::shared_ptr<PreparedImages>> result = m_entries.value(key).result;
    m_entries.remove(key);
    ui.waitUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return result.get();
}

void RowPreparation::forgetBefore(qint64 key)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it.key() < key)
            it = m_entries.erase(it);
        else
            ++it;
    }
}
