#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks
# need. Does nothing when they are all present; uses sudo when not root.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libspdlog-dev libcli11-dev libexpat1-dev
  libglib2.0-dev libicu-dev libssl-dev libsqlite3-dev zlib1g-dev
  libcurl4-openssl-dev libcpp-httplib-dev ca-certificates
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  # The command line, as the peer of the extraction benchmark.
  ffmpeg
  # GStreamer: core, base and good plug-ins (HTTP, MP4) and libav's for AAC;
  # the sound card through ALSA or PulseAudio; TLS for https; the tools for
  # the playback benchmark.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  gstreamer1.0-alsa glib-networking gstreamer1.0-tools
  # The window's page server and the window itself.
  libsoup-3.0-dev libwebkit2gtk-4.1-dev libgtk-3-dev
)

# The browser tests: Debian's Chromium, driven by Playwright on Node.js.
packages+=(chromium)
command -v node >/dev/null || packages+=(nodejs)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
# npm comes with some Node.js packages and apart with Debian's.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
run_as_root apt-get update -q
run_as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
