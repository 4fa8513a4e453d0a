// Making, caching and sending picture thumbnails.
#include "pages/ThumbnailService.h"

#include <unistd.h>

#include "http/FileAnswer.h"
#include "http/HttpDate.h"
#include "http/PendingAnswer.h"
#include "http/ResponseWriter.h"
#include "pages/FolderListing.h"
#include "pages/PictureDecoder.h"
#include "pages/ReplacementAnswer.h"
#include "pages/ShrinkToFit.h"
#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// "thumb" among the query's parts, alone (as listings link it) or with a value.
bool AsksForThumbnail(const CRequest& request) {
    std::wstring_view query = request.rawQuery;
    const std::wstring_view name = kThumbnailParameter;
    while (!query.empty()) {
        const size_t amp = query.find(L'&');
        const std::wstring_view part = query.substr(0, amp);
        if (part.starts_with(name) && (part.size() == name.size() || part[name.size()] == L'=')) return true;
        if (amp == std::wstring_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return false;
}

// The head of a thumbnail answer, in place of the picture's own.
void WriteThumbnailHead(CRequest& request, const wchar_t* type, std::time_t lastWrite) {
    DiscardStartedAnswer(request);
    WriteStatus(request, kStatusOk);
    WriteHeader(request, L"Content-Type", type);
    WriteHeader(request, L"Last-Modified", FormatHttpDate(lastWrite));
}

// What stands for a picture that cannot be decoded: the listing's file icon.
void AnswerFileIcon(CRequest& request, std::time_t lastWrite) {
    const std::string_view icon = FindResource("CONTENT", "/file.gif").value_or(std::string_view());
    WriteThumbnailHead(request, L"image/gif", lastWrite);
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(icon.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(icon);
}

// On the server thread: the thumbnail made (empty when the file is no picture).
void AnswerMade(CRequest& request, const std::string& thumbnail, std::time_t lastWrite) {
    if (thumbnail.empty()) {
        AnswerFileIcon(request, lastWrite);
        return;
    }
    WriteThumbnailHead(request, L"image/jpeg", lastWrite);
    WriteHeaderNumber(request, L"Content-Length", static_cast<long long>(thumbnail.size()));
    EndHeaders(request);
    request.response->buffer.AppendBytes(thumbnail);
}

// On the queue's thread: the picture read from its own descriptor and shrunk; empty
// when it is too large or no picture.
std::string ThumbnailOf(int pictureFd, long long size) {
    if (size > static_cast<long long>(kMaxPictureFileBytes)) return std::string();
    auto bytes = ReadWholeFile(pictureFd);
    if (!bytes) return std::string();
    return MakeThumbnail(*bytes).value_or(std::string());
}

}  // namespace

std::optional<std::string> MakeThumbnail(std::string_view pictureBytes) {
    auto image = DecodePicture(pictureBytes, kThumbnailSide, kThumbnailSide);
    if (!image) return std::nullopt;
    ShrinkToFit(*image, kThumbnailSide, kThumbnailSide);
    return EncodeJpeg(*image, kThumbnailQuality);
}

ThumbnailService::ThumbnailService(BackgroundQueue& queue, std::string cacheFolder)
    : queue_(queue), cache_(std::move(cacheFolder)) {}

bool ThumbnailService::Handle(CRequest& request) {
    if (!AsksForThumbnail(request)) return false;
    const std::string path = WideToAnsi(request.filePath);
    if (!IsThumbnailPicture(path) || !request.response->file.IsOpen()) return false;
    const FileInfo picture = request.response->fileInfo;
    std::string cacheFile = cache_.FileFor(path, picture.size, picture.lastWriteTime);

    FileInfo cachedInfo;
    if (UniqueFd cached = OpenForReading(cacheFile, &cachedInfo); cached.IsOpen()) {
        if (cachedInfo.size == 0) {
            AnswerFileIcon(request, picture.lastWriteTime);
            return true;
        }
        WriteThumbnailHead(request, L"image/jpeg", picture.lastWriteTime);
        request.response->file = std::move(cached);
        request.response->fileInfo = cachedInfo;
        StreamFile(request);
        return true;
    }

    // The worker reads through its own descriptor: the answer's may close with the
    // connection while the worker still reads.
    UniqueFd pictureFd(::dup(request.response->file.Get()));
    PendingAnswer answer;
    if (!pictureFd.IsOpen() || !DeferAnswer(request, answer)) {
        ReplaceWithError(request, kStatusServiceUnavailable);
        return true;
    }
    const bool queued = queue_.Run([&queue = queue_, cache = cache_, cacheFile = std::move(cacheFile),
                                    fd = std::make_shared<UniqueFd>(std::move(pictureFd)), answer, picture] {
        std::string thumbnail = ThumbnailOf(fd->Get(), picture.size);
        fd->Reset();
        // A failed store only costs making the thumbnail again next time.
        cache.Store(cacheFile, thumbnail);
        queue.PostToServer([answer, thumbnail = std::move(thumbnail), lastWrite = picture.lastWriteTime] {
            answer.Finish([&](CRequest& finished) { AnswerMade(finished, thumbnail, lastWrite); });
        });
    });
    if (!queued) {
        CancelDeferral(request);
        ReplaceWithError(request, kStatusServiceUnavailable);
    }
    return true;
}

}  // namespace tarnhollow
