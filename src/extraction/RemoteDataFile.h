#pragma once

#include <string>

#include "dbaccess/DataSet.h"

namespace iqo {

// Writes the result set as the remote data file at path so that a widget never reads a
// partial file: the document goes to path + ".tmp" + a random suffix in the same folder, is
// flushed to disk and renamed over path only when it is complete. After a failure the
// temporary file is removed and path is left as it was. Every error text names path.
void SaveRemoteDataFile(TDataSet& dataSet, const std::string& path);

}  // namespace iqo
