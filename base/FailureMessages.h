// The English texts of every failure a user may be shown, one list under one id each: the lower
// layers build their messages from these patterns (%1, %2 for file names, numbers and reasons),
// and the windows recognise a message by them and show it in their language (app/WindowTexts).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Where one pattern could also match another's text, the more specific one comes first.
enum class FailureMessage {
  // The runtime's errors, also in full (class name, help context, message).
  kRuntimeErrorInFull,
  kCannotOpenFileBecause,
  kCannotOpenFile,
  kCannotCreateFileBecause,
  kCannotCreateFile,
  kStreamReadError,
  kStreamWriteError,
  kOutOfMemory,
  kUnexpectedError,
  kSystemError,
  // Files: the loader, the file streams and the writer.
  kFileOverLimit,
  kFileTooLarge,
  kLengthMismatch,
  kShortRead,
  kPipeSilent,
  kNotRestoredKept,
  kNotRestored,
  kNotOnDisk,
  kFolderNotOnDisk,
  kStrictPaddingFails,
  kStreamsNotKept,
  kAccessListNotKept,
  kAttributesNotKept,
  kNotARegularFile,
  kOtherUsersLink,
  kOtherUsersFolder,
  kOtherUsersFile,
  kOutputLocked,
  kSourceChanged,
  kChecksumNotUpdatable,
  kOutputIsInput,
  kSourceSetupFileRole,
  kPackageFileRole,
  kAnswerFileRole,
  kStoreCancelled,
  kNoReadBack,
  kOutputNotRegular,
  kSourceNotRegular,
  kNoConfigArea,
  kConfigTooLarge,
  // The image lists of the windows.
  kInvalidImageList,
  kReplaceImageFailed,
  // The package parser.
  kPackageTooLarge,
  kInvalidFormat,
  // The HTTP client's own texts, and the reason phrases servers commonly send with a failure.
  kHttpResolveFailed,
  kHttpTimeout,
  kHttpTooManyRedirects,
  kHttpPlainOnly,
  kHttpCutOff,
  kHttpHeadTooLarge,
  kHttpBadResponse,
  kHttpConnectFailed,
  kHttpNoMemory,
  kHttpInvalidProxyPort,
  kHttpStatus,
  kHttpBadRequest,
  kHttpForbidden,
  kHttpNotFound,
  kHttpMethodNotAllowed,
  kHttpRequestTimeout,
  kHttpGone,
  kHttpInternalServerError,
  kHttpBadGateway,
  kHttpServiceUnavailable,
  kHttpGatewayTimeout,
  kCount
};

inline constexpr std::size_t kFailureMessageCount =
    static_cast<std::size_t>(FailureMessage::kCount);

struct FailurePatternRow {
  FailureMessage id;
  const char* english;
};

inline constexpr FailurePatternRow kFailurePatterns[] = {
    {FailureMessage::kRuntimeErrorInFull, "EXCEPTION %1 (%2) %3"},
    {FailureMessage::kCannotOpenFileBecause, "Cannot open file \"%1\". %2"},
    {FailureMessage::kCannotOpenFile, "Cannot open file \"%1\""},
    {FailureMessage::kCannotCreateFileBecause, "Cannot create file \"%1\". %2"},
    {FailureMessage::kCannotCreateFile, "Cannot create file \"%1\""},
    {FailureMessage::kStreamReadError, "Stream read error"},
    {FailureMessage::kStreamWriteError, "Stream write error"},
    {FailureMessage::kOutOfMemory, "Out of memory"},
    {FailureMessage::kUnexpectedError, "Unexpected error"},
    {FailureMessage::kSystemError, "System error %1"},
    {FailureMessage::kFileOverLimit, "File size is over %1, but max allowed size is %2"},
    {FailureMessage::kFileTooLarge, "File size is %1, but max allowed size is %2"},
    {FailureMessage::kLengthMismatch, "Length(s) [%1] <> FStream.Size [%2]"},
    {FailureMessage::kShortRead, "(Cnt [%1] <> FStream.Size [%2]) or (Cnt <> Length(s) [%3])"},
    {FailureMessage::kPipeSilent, "Nothing was written to the pipe within a second"},
    {FailureMessage::kNotRestoredKept,
     "%1; its earlier content could not be put back (%2); it is kept in \"%3\""},
    {FailureMessage::kNotRestored, "%1; its earlier content could not be put back: %2"},
    {FailureMessage::kNotOnDisk,
     "The new setup file \"%1\" is in place, but could not be written to the disk: %2"},
    {FailureMessage::kFolderNotOnDisk,
     "The new setup file \"%1\" is in place, but its folder could not be written to the disk: %2"},
    {FailureMessage::kStrictPaddingFails,
     "The new setup file \"%1\" fails Windows' strict certificate padding check, as its source "
     "does"},
    {FailureMessage::kStreamsNotKept, "Its alternate data streams cannot be kept"},
    {FailureMessage::kAccessListNotKept, "Its access list cannot be kept: %1"},
    {FailureMessage::kAttributesNotKept,
     "Its access lists and extended attributes cannot be kept: %1"},
    {FailureMessage::kNotARegularFile, "Not a regular file"},
    {FailureMessage::kOtherUsersLink,
     "A symbolic link that another user owns in a shared folder is not followed"},
    {FailureMessage::kOtherUsersFolder,
     "A folder that another user owns in a shared folder is not written into"},
    {FailureMessage::kOtherUsersFile,
     "A file that another user owns in a shared folder is not replaced"},
    {FailureMessage::kOutputLocked, "Another program kept the file locked for 10 seconds"},
    {FailureMessage::kSourceChanged, "Source setup file \"%1\" changed while it was being copied"},
    {FailureMessage::kChecksumNotUpdatable, "Can't update Setup EXE checksum"},
    {FailureMessage::kOutputIsInput, "Output setup file is the same file as the %1"},
    {FailureMessage::kSourceSetupFileRole, "source setup file"},
    {FailureMessage::kPackageFileRole, "source K-VConfig.bin file"},
    {FailureMessage::kAnswerFileRole, "source AutoInstall.srg file"},
    {FailureMessage::kStoreCancelled, "The store was cancelled"},
    {FailureMessage::kNoReadBack,
     "The new setup file \"%1\" does not read back the data stored in it"},
    {FailureMessage::kOutputNotRegular, "Output setup file \"%1\" is not a regular file"},
    {FailureMessage::kSourceNotRegular, "Source setup file \"%1\" is not a regular file"},
    {FailureMessage::kNoConfigArea,
     "Not compatible Setup file - setup file does not contain dedicated space for storing "
     "configuration"},
    {FailureMessage::kConfigTooLarge, "Configuration data size > %1"},
    {FailureMessage::kInvalidImageList, "Invalid ImageList"},
    {FailureMessage::kReplaceImageFailed, "Unable to Replace Image"},
    {FailureMessage::kPackageTooLarge, "File size > 1MB"},
    {FailureMessage::kInvalidFormat, "Invalid / unsupported file format"},
    {FailureMessage::kHttpResolveFailed, "can't resolve hostname to IP address"},
    {FailureMessage::kHttpTimeout, "Request aborted on timeout"},
    {FailureMessage::kHttpTooManyRedirects, "too many redirects"},
    {FailureMessage::kHttpPlainOnly, "only plain HTTP is supported"},
    {FailureMessage::kHttpCutOff, "connection closed before the whole response arrived"},
    {FailureMessage::kHttpHeadTooLarge, "response header too large"},
    {FailureMessage::kHttpBadResponse, "invalid response from server"},
    {FailureMessage::kHttpConnectFailed, "can't connect: %1 (Error #%2)"},
    {FailureMessage::kHttpNoMemory, "out of memory"},
    {FailureMessage::kHttpInvalidProxyPort, "invalid proxy port"},
    {FailureMessage::kHttpStatus, "HTTP status %1"},
    {FailureMessage::kHttpBadRequest, "Bad Request"},
    {FailureMessage::kHttpForbidden, "Forbidden"},
    {FailureMessage::kHttpNotFound, "Not Found"},
    {FailureMessage::kHttpMethodNotAllowed, "Method Not Allowed"},
    {FailureMessage::kHttpRequestTimeout, "Request Timeout"},
    {FailureMessage::kHttpGone, "Gone"},
    {FailureMessage::kHttpInternalServerError, "Internal Server Error"},
    {FailureMessage::kHttpBadGateway, "Bad Gateway"},
    {FailureMessage::kHttpServiceUnavailable, "Service Unavailable"},
    {FailureMessage::kHttpGatewayTimeout, "Gateway Timeout"},
};

// True when rows has one row per id, in the ids' order, each with a text: what every table keyed
// by FailureMessage must be (checked at compile time).
template <typename Rows, typename Row, typename Id, typename Text>
constexpr bool CoversEveryFailure(const Rows& rows, Id Row::*id, Text Row::*text) {
  std::size_t i = 0;
  for (const Row& row : rows) {
    if (static_cast<std::size_t>(row.*id) != i++ || row.*text == nullptr)
      return false;
  }
  return i == kFailureMessageCount;
}
static_assert(CoversEveryFailure(kFailurePatterns, &FailurePatternRow::id,
                                 &FailurePatternRow::english));

constexpr const char* FailurePattern(FailureMessage id) {
  return kFailurePatterns[static_cast<std::size_t>(id)].english;
}

// pattern with %1 ... %9 replaced by the values, in one pass (a value's own "%1" stays).
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values);
std::string Fill(std::string_view pattern, const std::vector<std::string>& values);

// The English text of the failure with its values.
std::string FailureMessageText(FailureMessage id,
                               std::initializer_list<std::string_view> values = {});

// True when text is what Fill makes of pattern with some values; values then holds them, by
// number (each placeholder shortest first, so a later literal part anchors it).
bool MatchPattern(std::string_view pattern, std::string_view text,
                  std::vector<std::string>& values);

}  // namespace kv
