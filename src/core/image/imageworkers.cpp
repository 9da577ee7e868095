#include "core/image/imageworkers.h"

#include "core/base/shortint.h"
#include "core/base/uiservices.h"

#include <QFile>

#include <FreeImage.h>

namespace {

/// Reads the frame size from a JPEG's markers. The library's own header
/// read starts the decoder, which for a progressive file reads every scan:
/// as slow as decoding the photo.
std::optional<ImageSize> scanJpegFrame(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto byte = [&file]() -> int {
        char c = 0;
        return file.getChar(&c) ? int(uchar(c)) : -1;
    };
    if (byte() != 0xFF || byte() != 0xD8)
        return std::nullopt;
    // Bounded: a file of markers and nothing else cannot keep us here.
    for (int segment = 0; segment < 4096; ++segment) {
        int b = byte();
        if (b != 0xFF)
            return std::nullopt;
        int marker = byte();
        while (marker == 0xFF)  // fill bytes
            marker = byte();
        if (marker < 0 || marker == 0xD9 || marker == 0xDA)
            return std::nullopt;  // end of image or start of scan before any frame
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // markers without a length
        const int hi = byte();
        const int lo = byte();
        if (hi < 0 || lo < 0)
            return std::nullopt;
        const int length = hi << 8 | lo;
        if (length < 2)
            return std::nullopt;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const QByteArray header = file.read(5);
            if (header.size() != 5)
                return std::nullopt;
            const int height = uchar(header[1]) << 8 | uchar(header[2]);
            const int width = uchar(header[3]) << 8 | uchar(header[4]);
            if (width < 1 || height < 1)
                return std::nullopt;
            return ImageSize{width, height};
        }
        if (!file.seek(file.pos() + length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<ImageSize> jpegHeaderSize(const QString& path) { return headerSize(ImageFormat::Jpeg, path); }

std::optional<ImageSize> headerSize(ImageFormat format, const QString& path)
{
    if (format == ImageFormat::Jpeg) {
        if (const std::optional<ImageSize> size = scanJpegFrame(path))
            return size;
    }
    const QByteArray native = QFile::encodeName(path);
    FIBITMAP* header = FreeImage_Load(static_cast<FREE_IMAGE_FORMAT>(format), native.constData(), FIF_LOAD_NOPIXELS);
    if (!header)
        return std::nullopt;
    const ImageSize size{int(FreeImage_GetWidth(header)), int(FreeImage_GetHeight(header))};
    FreeImage_Unload(header);
    return size;
}

int jpegReduction(ImageSize size, int targetWidth)
{
    if (size.width < 1 || size.height < 1 || targetWidth < 1)
        return 1;
    for (const int denominator : {8, 4, 2}) {
        // The decoder rounds a scaled side up.
        if ((size.width + denominator - 1) / denominator >= targetWidth)
            return denominator;
    }
    return 1;
}

int jpegSizeHint(ImageSize size, int targetWidth)
{
    const int denominator = jpegReduction(size, targetWidth);
    if (denominator == 1)
        return 0;
    // longer / hint must reach this denominator and stay below the next.
    return std::max(1, std::max(size.width, size.height) / denominator);
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

namespace {

qint64 targetPixels(const ImageSize& source, int width)
{
    if (width < 1 || source.width < 1)
        return 0;
    const double height = roundHalfEven(double(source.height) * width / source.width);
    return qint64(std::min(double(width) * height, 9e18));
}

} // namespace

PreparedImages prepareImages(const PrepareRequest& request)
{
    PreparedImages out;
    // The header first: a damaged or hostile file may claim any size, and
    // decoding it would try to allocate that much.
    const std::optional<ImageSize> size = headerSize(request.format, request.path);
    if (size) {
        const qint64 pixels = qint64(size->width) * size->height;
        if (pixels > kMaxSourcePixels || targetPixels(*size, request.largeWidth) > kMaxTargetPixels
            || targetPixels(*size, request.smallWidth) > kMaxTargetPixels) {
            out.tooLarge = true;
            out.sourceWidth = size->width;
            out.sourceHeight = size->height;
            return out;
        }
    }
    Bitmap source;
    if (request.fast && request.format == ImageFormat::Jpeg) {
        if (size) {
            out.sourceWidth = size->width;
            out.sourceHeight = size->height;
            // The reduced read keeps the colours of the full read; layouts it
            // does not take go through the decoder's own scaling.
            const int denominator = jpegReduction(*size, request.largeWidth);
            if (denominator > 1)
                source = Bitmap::loadJpegReduced(request.path, denominator);
            if (source.isNull())
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
