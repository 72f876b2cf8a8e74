#!/usr/bin/env bash
# Builds the OCI image corvasta-cli:<version> from nothing with podman or
# buildah: the static console, the licence and the console as entrypoint.
# Usage: image.sh [STATIC_CONSOLE]   (default: builds the static preset)
# Prints the image's name on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Corvasta VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
console=${1:-}
if [ -z "$console" ]; then
  cmake --preset static >/dev/null
  cmake --build --preset static -j"$(nproc)" --target corvasta-cli
  console=build/static/cli/corvasta-cli
fi
# An empty image has no loader and no libraries to resolve.
if ! "$console" --version | grep -qx "Build: static"; then
  echo "image.sh: $console is not linked statically" >&2
  exit 1
fi
if command -v podman >/dev/null; then
  builder=(podman build)
elif command -v buildah >/dev/null; then
  builder=(buildah build)
else
  echo "image.sh: neither podman nor buildah is installed" >&2
  exit 1
fi

context=build/image-context
rm -rf "$context"
mkdir -p "$context"
cp "$console" "$context/corvasta-cli"
strip "$context/corvasta-cli"
cp LICENSE "$context/LICENSE"
image=corvasta-cli:$version
"${builder[@]}" --quiet --file packaging/image/Containerfile --tag "$image" "$context" >/dev/null
rm -rf "$context"
echo "$image"
