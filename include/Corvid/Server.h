// The engine inside this process: databases are SQLite files under one
// directory. Initialise it once before DataSource::createDataSource() and
// terminate it at the end; both are meant for one thread while no other
// thread uses the engine.
#ifndef CORVID_SERVER_H
#define CORVID_SERVER_H

#include "Mod/ModUnicodeString.h"

namespace Corvid::Server::Singleton {

class InProcess {
 public:
  // Keeps the databases in the directory `path` (empty: the current
  // directory). With `requireExistingDirectory` false a missing directory is
  // created; with true it must exist. Throws Corvid::Exception::Object when
  // the directory is missing (and may not be created) or cannot be created.
  static void initialize(bool requireExistingDirectory, const ModUnicodeString& path);
  // Stops the engine: later createDataSource() and createSession() calls
  // throw. Sessions already made go on until they are closed. Never throws.
  static void terminate();
};

}  // namespace Corvid::Server::Singleton

#endif  // CORVID_SERVER_H
