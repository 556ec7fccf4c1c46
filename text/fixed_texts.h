// Fixed English texts: shown as they stand and never looked up, so they are
// English in every message language. FIXED_X is the catalogue's English text of
// MSG_X (text/message_ids.h), character for character; the catalogue's
// translations of ids 190 to 239 and 243 are never read. Ids 244 and 255 are
// looked up in the catalogue by their users; their constants are the reference
// for the English text. Texts with %s or %d are printf-style formats filled by
// their callers.
#pragma once

inline constexpr const char* FIXED_APPLY_UPDATE = "Apply Update";
inline constexpr const char* FIXED_CANCEL = "Cancel";
inline constexpr const char* FIXED_EXIT = "Exit";
inline constexpr const char* FIXED_CONFIRM_CANCEL = "Do you really want to cancel?";
inline constexpr const char* FIXED_CANCELLING = "Cancelling patch process...";
inline constexpr const char* FIXED_BROWSE_NEW_VERSION_PATH = "Browse to the new version path";
inline constexpr const char* FIXED_CANNOT_OPEN_PATCH_FOR_WRITING =
    "Unable to open the patch file for writing: ";
inline constexpr const char* FIXED_CANNOT_DOWNLOAD_PATCH = "Unable to download patch file: ";
inline constexpr const char* FIXED_CANNOT_CONNECT_TO_SERVERS =
    "Unable to connect to any patch servers.";
inline constexpr const char* FIXED_SUCCESS_SUFFIX = "... Success";
inline constexpr const char* FIXED_FAILED_SUFFIX = "... Failed";
inline constexpr const char* FIXED_COULD_NOT_CREATE_DIRECTORY = "Could not create the directory: ";
inline constexpr const char* FIXED_DIFF_COMMAND = "Diff command: ";
inline constexpr const char* FIXED_COULD_NOT_CREATE_PROCESS = "Could not create the process";
inline constexpr const char* FIXED_BZIP2_COMMAND = "Bzip2 command: ";
inline constexpr const char* FIXED_ARCHIVE_COMMAND = "Archive command: ";
inline constexpr const char* FIXED_THE_FILE = "The file: ";
inline constexpr const char* FIXED_NOT_OPENED_FOR_WRITING = " could not be opened for writing";
inline constexpr const char* FIXED_IDENTICAL = "Identical: ";
inline constexpr const char* FIXED_CHECKSUM_LABEL = " checksum:";
inline constexpr const char* FIXED_PATCHING_FILE = "Patching: ";
inline constexpr const char* FIXED_ELLIPSIS = "...";
inline constexpr const char* FIXED_TO_BE_ADDED = "To be added: ";
inline constexpr const char* FIXED_TO_BE_DELETED = "To be deleted: ";
inline constexpr const char* FIXED_COULD_NOT_WRITE_FILE = "Could not write the file: ";
inline constexpr const char* FIXED_PROPERLY = " properly";
inline constexpr const char* FIXED_ADDING = "Adding: ";
inline constexpr const char* FIXED_FAILED_ADDING = "Failed adding: ";
inline constexpr const char* FIXED_REMOVING = "Removing: ";
inline constexpr const char* FIXED_COULD_NOT_DELETE = "Could not delete: ";
inline constexpr const char* FIXED_FILE_ALREADY_REMOVED =
    "File seems to have been removed already: ";
inline constexpr const char* FIXED_COULD_NOT_COPY_FILE = "Could not copy the file: ";
inline constexpr const char* FIXED_FAILED_CHECKSUM_EXISTING =
    "Failed to compute the checksum for existing file: ";
inline constexpr const char* FIXED_ALREADY_PATCHED =
    "Existing file appears to have been patched already: ";
inline constexpr const char* FIXED_EXISTING_FILE_DAMAGED =
    "Existing file is damaged and cannot be patched: ";
inline constexpr const char* FIXED_FAILED_CREATING_PROCESS = "Failed creating the process";
inline constexpr const char* FIXED_FAILED_PATCH_COMMAND = "Failed patch command: ";
inline constexpr const char* FIXED_NOT_ENOUGH_ARGUMENTS =
    "Not enough Argument Specified to patch the file";
inline constexpr const char* FIXED_CANNOT_OPEN_DATA_FILE =
    "Could not open data file %s for reading.";
inline constexpr const char* FIXED_CANNOT_OPEN_PATCH_FILE =
    "Could not open patch file %s for reading.";
inline constexpr const char* FIXED_CANNOT_OPEN_OUTPUT_FILE =
    "Could not open output file for writing.";
inline constexpr const char* FIXED_NUM_OK_FAILED = "NumOk: %d NumFailed: %d";
inline constexpr const char* FIXED_COULD_NOT_OPEN = "Could not open: ";
inline constexpr const char* FIXED_UNKNOWN_PATCH_ERROR =
    "An unknown error (%d) occurred while patching file %s";
inline constexpr const char* FIXED_FOR_READING_MIGHT_BE_MISSING =
    " for reading. The file might not be present";
inline constexpr const char* FIXED_COULD_NOT_DOWNLOAD_FILE = "Could not download the file: ";
inline constexpr const char* FIXED_COULD_NOT_READ_CHECKSUM_FILE =
    "Could not read the checksum file: ";
inline constexpr const char* FIXED_REPLACE_MISSING_FILE = "Need to replace missing file: ";
inline constexpr const char* FIXED_REPLACE_MODIFIED_FILE = "Need to replace modified file: ";
inline constexpr const char* FIXED_ABORTING = "Aborting.";
inline constexpr const char* FIXED_CANCEL_AFTER_INSTALL_WARNING =
    "Warning: One or more patches have been successfully installed cancelling now will not revert "
    "these changes.\n"
    "Furthermore the asset database will still need to be updated before Kestro can be played.\n"
    "Are you sure you want to cancel?";
inline constexpr const char* FIXED_REQUIRES_XP_SERVICE_PACK_3 =
    "This patch installer requires at least Service Pack 3 for Windows XP. \n"
    "The patch can be retried once the Service Pack is installed.";
inline constexpr const char* FIXED_REQUIRES_DIRECTX_AUGUST_2009 =
    "This version of Kestro requires the August 2009 release of DirectX9. \n"
    "The patch can be retried once DirectX is updated.";

// Texts without an id, posted by the file patch engine.
inline constexpr const char* FIXED_PATCH_CONTENTS_MISMATCH =
    "Failed to patch %s, file contents do not match";
inline constexpr const char* FIXED_BACKUP_FAILED = "Failed to create backup of file %s";
inline constexpr const char* FIXED_RESTORE_BACKUP_FAILED = "Failed to restore backup file %s";
