#include "sandbox/LibraryWriter.h"

#include "base/FileUtil.h"
#include "sandbox/SandboxRouter.h"

namespace mr::sandbox {

std::string libraryXml(const std::vector<LibraryTrack>& tracks) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n"
      "\t<key>Major Version</key><integer>1</integer>\n"
      "\t<key>Minor Version</key><integer>1</integer>\n"
      "\t<key>Date</key><date>2026-11-30T10:00:00Z</date>\n"
      "\t<key>Application Version</key><string>12.9.5.5</string>\n"
      "\t<key>Music "
      "Folder</key><string>file:///home/listener/Music/iTunes/iTunes%20Media/</string>\n"
      "\t<key>Tracks</key>\n\t<dict>\n";
  int id = 1000;
  for (const auto& track : tracks) {
    xml += "\t\t<key>" + std::to_string(id) + "</key>\n\t\t<dict>\n";
    xml += "\t\t\t<key>Track ID</key><integer>" + std::to_string(id) + "</integer>\n";
    xml += "\t\t\t<key>Name</key><string>" + escapeMarkup(track.name) + "</string>\n";
    if (track.artist)
      xml += "\t\t\t<key>Artist</key><string>" + escapeMarkup(*track.artist) + "</string>\n";
    xml += "\t\t\t<key>Album</key><string>" + escapeMarkup(track.album) + "</string>\n";
    xml += "\t\t\t<key>Genre</key><string>" + escapeMarkup(track.genre) + "</string>\n";
    xml += "\t\t\t<key>Kind</key><string>AAC audio file</string>\n";
    xml += "\t\t\t<key>Size</key><integer>4000000</integer>\n";
    xml +=
        "\t\t\t<key>Total Time</key><integer>" + std::to_string(track.totalTimeMs) + "</integer>\n";
    if (track.dateAdded)
      xml += "\t\t\t<key>Date Added</key><date>" + *track.dateAdded + "</date>\n";
    if (track.playCount > 0) {
      xml +=
          "\t\t\t<key>Play Count</key><integer>" + std::to_string(track.playCount) + "</integer>\n";
    }
    xml +=
        "\t\t\t<key>Persistent ID</key><string>" + std::to_string(0xA000000 + id) + "</string>\n";
    xml += "\t\t\t<key>Track Type</key><string>File</string>\n";
    xml += "\t\t</dict>\n";
    id += 2;
  }
  xml +=
      "\t</dict>\n\t<key>Playlists</key>\n\t<array>\n\t\t<dict>\n"
      "\t\t\t<key>Name</key><string>Library</string>\n\t\t\t<key>Master</key><true/>\n"
      "\t\t</dict>\n\t</array>\n</dict>\n</plist>\n";
  return xml;
}

Status writeLibraryFile(const std::string& path, const std::vector<LibraryTrack>& tracks) {
  return writeFileAtomically(path, libraryXml(tracks), 0644);
}

}  // namespace mr::sandbox
