// The ids of the catalogue's texts, one name per id.
//
// OMVEL_MESSAGE_IDS(X) calls X(name, id) once for every id that the catalogue
// holds in English (text/messages.tsv); callers use the names of MessageId,
// never bare numbers. Ids 190 to 239, 243, 244 and 255 also have fixed
// English constants (text/fixed_texts.h).
#pragma once

#define OMVEL_MESSAGE_IDS(X)                  \
  X(MSG_PRINT_USAGE, 121)                     \
  X(MSG_SUPPRESS_ADMIN_ESCALATION, 122)       \
  X(MSG_CURRENT_INSTALL_VERSION, 123)         \
  X(MSG_FTP_SERVER_LIST_FILE, 124)            \
  X(MSG_FTP_SERVER_ADDRESS, 125)              \
  X(MSG_FINAL_VERSION, 126)                   \
  X(MSG_TARGET_DIRECTORY, 127)                \
  X(MSG_PATCH_DETAILS_DIRECTORY, 128)         \
  X(MSG_REPAIR_CLIENT, 129)                   \
  X(MSG_LAUNCH_ON_EXIT, 130)                  \
  X(MSG_TO, 131)                              \
  X(MSG_INSUFFICIENT_PRIVILEGES, 132)         \
  X(MSG_REQUIRES_ADMIN_PRIVILEGES, 134)       \
  X(MSG_FAILED_ADD_IP_ADDRESS, 135)           \
  X(MSG_FAILED_READ_SERVER_LIST, 136)         \
  X(MSG_LOGIN_AS_ADMIN, 137)                  \
  X(MSG_ERROR_CREATING_PROCESS, 138)          \
  X(MSG_COULD_NOT_START_UNPACKER, 139)        \
  X(MSG_FAILED_UNPACK_PATCH, 140)             \
  X(MSG_SEARCHING_FOR_PATCHES, 141)           \
  X(MSG_CLIENT_AT_FINAL_VERSION, 142)         \
  X(MSG_NO_MORE_PATCHES_AT_SERVER, 143)       \
  X(MSG_UNKNOWN_PATCH_SIZE, 144)              \
  X(MSG_CANNOT_CREATE_TEMP_FILE, 145)         \
  X(MSG_CANNOT_CREATE_TEMP_DIRECTORY, 146)    \
  X(MSG_DOWNLOADING_PATCH, 147)               \
  X(MSG_PATCH_DOWNLOAD_FAILED, 148)           \
  X(MSG_UNPACKING_PATCH, 149)                 \
  X(MSG_FAILED_EXTRACT_ARCHIVE, 150)          \
  X(MSG_PATCHING, 151)                        \
  X(MSG_FAILED_APPLY_PATCH, 152)              \
  X(MSG_FAILED_UPDATE_UNINSTALL_LOG, 153)     \
  X(MSG_PATCHING_REQUIRES_ADMIN, 154)         \
  X(MSG_FILES_IN_USE, 157)                    \
  X(MSG_EXECUTABLES_RUNNING, 158)             \
  X(MSG_FILES_IN_USE_TITLE, 159)              \
  X(MSG_REPAIR_NOT_IMPLEMENTED, 160)          \
  X(MSG_NOTHING_TO_DO, 161)                   \
  X(MSG_PATCHING_COMPLETED, 162)              \
  X(MSG_PATCHING_ABORTED, 163)                \
  X(MSG_INSTALLER_VERSION, 164)               \
  X(MSG_MANUAL_PATCH_PATH, 165)               \
  X(MSG_PATCHING_FROM_VERSION, 166)           \
  X(MSG_STANDALONE_MODE, 167)                 \
  X(MSG_DOWNLOAD_MODE, 168)                   \
  X(MSG_REPAIR_MODE, 169)                     \
  X(MSG_PATCH_SERVER_CANDIDATE, 170)          \
  X(MSG_PATCHING_INSTALL, 171)                \
  X(MSG_REPAIRING_INSTALL, 172)               \
  X(MSG_REPAIR, 173)                          \
  X(MSG_DOWNLOAD_PROGRESS_HOURS, 174)         \
  X(MSG_DOWNLOAD_PROGRESS_MINUTES, 175)       \
  X(MSG_ABOUT_BLANK, 176)                     \
  X(MSG_PHYSX_NOT_DETECTED, 177)              \
  X(MSG_CANNOT_EXTRACT_PATCH_DATA, 178)       \
  X(MSG_PATCH_NOT_APPLICABLE_TO_VERSION, 179) \
  X(MSG_PATCHING_FROM_TO, 180)                \
  X(MSG_FILE_ERROR_READING_PATCH, 181)        \
  X(MSG_PATCH_NOT_APPLICABLE, 184)            \
  X(MSG_NO_MORE_PATCHES_FOR_BUILD, 185)       \
  X(MSG_READY_LOCAL_PATCH, 187)               \
  X(MSG_CURRENT_VERSION, 188)                 \
  X(MSG_TARGET_VERSION, 189)                  \
  X(MSG_APPLY_UPDATE, 190)                    \
  X(MSG_CANCEL, 191)                          \
  X(MSG_EXIT, 192)                            \
  X(MSG_CONFIRM_CANCEL, 193)                  \
  X(MSG_CANCELLING, 194)                      \
  X(MSG_BROWSE_NEW_VERSION_PATH, 195)         \
  X(MSG_CANNOT_OPEN_PATCH_FOR_WRITING, 196)   \
  X(MSG_CANNOT_DOWNLOAD_PATCH, 197)           \
  X(MSG_CANNOT_CONNECT_TO_SERVERS, 198)       \
  X(MSG_SUCCESS_SUFFIX, 199)                  \
  X(MSG_FAILED_SUFFIX, 200)                   \
  X(MSG_COULD_NOT_CREATE_DIRECTORY, 201)      \
  X(MSG_DIFF_COMMAND, 202)                    \
  X(MSG_COULD_NOT_CREATE_PROCESS, 203)        \
  X(MSG_BZIP2_COMMAND, 204)                   \
  X(MSG_ARCHIVE_COMMAND, 205)                 \
  X(MSG_THE_FILE, 206)                        \
  X(MSG_NOT_OPENED_FOR_WRITING, 207)          \
  X(MSG_IDENTICAL, 208)                       \
  X(MSG_CHECKSUM_LABEL, 209)                  \
  X(MSG_PATCHING_FILE, 210)                   \
  X(MSG_ELLIPSIS, 211)                        \
  X(MSG_TO_BE_ADDED, 212)                     \
  X(MSG_TO_BE_DELETED, 213)                   \
  X(MSG_COULD_NOT_WRITE_FILE, 214)            \
  X(MSG_PROPERLY, 215)                        \
  X(MSG_ADDING, 216)                          \
  X(MSG_FAILED_ADDING, 217)                   \
  X(MSG_REMOVING, 218)                        \
  X(MSG_COULD_NOT_DELETE, 219)                \
  X(MSG_FILE_ALREADY_REMOVED, 220)            \
  X(MSG_COULD_NOT_COPY_FILE, 221)             \
  X(MSG_FAILED_CHECKSUM_EXISTING, 222)        \
  X(MSG_ALREADY_PATCHED, 223)                 \
  X(MSG_EXISTING_FILE_DAMAGED, 224)           \
  X(MSG_FAILED_CREATING_PROCESS, 225)         \
  X(MSG_FAILED_PATCH_COMMAND, 226)            \
  X(MSG_NOT_ENOUGH_ARGUMENTS, 227)            \
  X(MSG_CANNOT_OPEN_DATA_FILE, 228)           \
  X(MSG_CANNOT_OPEN_PATCH_FILE, 229)          \
  X(MSG_CANNOT_OPEN_OUTPUT_FILE, 230)         \
  X(MSG_NUM_OK_FAILED, 231)                   \
  X(MSG_COULD_NOT_OPEN, 232)                  \
  X(MSG_UNKNOWN_PATCH_ERROR, 233)             \
  X(MSG_FOR_READING_MIGHT_BE_MISSING, 234)    \
  X(MSG_COULD_NOT_DOWNLOAD_FILE, 235)         \
  X(MSG_COULD_NOT_READ_CHECKSUM_FILE, 236)    \
  X(MSG_REPLACE_MISSING_FILE, 237)            \
  X(MSG_REPLACE_MODIFIED_FILE, 238)           \
  X(MSG_ABORTING, 239)                        \
  X(MSG_INSUFFICIENT_DISK_SPACE, 240)         \
  X(MSG_CHECKING_DISK_SPACE, 241)             \
  X(MSG_DISK_SPACE_UNKNOWN, 242)              \
  X(MSG_CANCEL_AFTER_INSTALL_WARNING, 243)    \
  X(MSG_REQUIRES_XP_SERVICE_PACK_3, 244)      \
  X(MSG_REQUIRES_DIRECTX_AUGUST_2009, 255)

enum MessageId : int {
#define OMVEL_MESSAGE_ENUMERATOR(name, id) name = id,
  OMVEL_MESSAGE_IDS(OMVEL_MESSAGE_ENUMERATOR)
#undef OMVEL_MESSAGE_ENUMERATOR
};
