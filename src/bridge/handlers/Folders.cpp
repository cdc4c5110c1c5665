// Folders (family 40) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 40001 vlx.folders.dirExists
void FoldersDirExists(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40002 vlx.folders.createDir
void FoldersCreateDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40003 vlx.folders.deleteDir
void FoldersDeleteDir(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40004 vlx.folders.listFiles
void FoldersListFiles(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40005 vlx.folders.getTempDir
void FoldersGetTempDir(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40006 vlx.folders.getUserDocumentsDir
void FoldersGetUserDocumentsDir(TBrowserExternalModule& module, const std::string& uuid,
                                const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40007 vlx.folders.getUserDesktopDir
void FoldersGetUserDesktopDir(TBrowserExternalModule& module, const std::string& uuid,
                              const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40008 vlx.folders.getAppExecutableDir
void FoldersGetAppExecutableDir(TBrowserExternalModule& module, const std::string& uuid,
                                const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 40009 vlx.folders.getAppDataDir
void FoldersGetAppDataDir(TBrowserExternalModule& module, const std::string& uuid,
                          const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
