#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Trelliken.
# Safe to run again: it only touches what is missing. Non-interactive (CI runs it as root, no stdin).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

DEBIAN_PACKAGES=(
  build-essential cmake ninja-build pkg-config git ca-certificates openssl nodejs npm
  libasio-dev nlohmann-json3-dev libfmt-dev spirv-headers
  libgtest-dev libgmock-dev libbenchmark-dev libopenblas-dev
  libegl1 libegl-mesa0 libgles2 libgl1-mesa-dri
  libvulkan1 libvulkan-dev mesa-vulkan-drivers
  spirv-tools b3sum
)

missing=()
for pkg in "${DEBIAN_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
# node/npm may come from outside Debian's packages (e.g. a preinstalled Node.js); accept them if present.
if command -v npm >/dev/null 2>&1; then
  filtered=()
  for pkg in "${missing[@]}"; do
    [[ "$pkg" == nodejs || "$pkg" == npm ]] || filtered+=("$pkg")
  done
  missing=("${filtered[@]+"${filtered[@]}"}")
fi

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q </dev/null
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi

# The pinned WebGPU implementation (a prebuilt Dawn shared library shipped in an npm package).
WEBGPU_PACKAGE="bun-webgpu-linux-x64"
WEBGPU_VERSION="0.1.7"
WEBGPU_INTEGRITY="sha512-UEP7UZdEhx9otvkZczjsszL8ZVlrODANQvgl+C88/bNVmxDoFi7w1fWzGi1sZyakiETjmtFDq2/xCLhbSZxjqw=="
WEBGPU_DIR="$ROOT/third_party/webgpu"
WEBGPU_LIB="$WEBGPU_DIR/libwebgpu_wrapper.so"
WEBGPU_STAMP="$WEBGPU_DIR/.integrity"

if [[ ! -f "$WEBGPU_LIB" || ! -f "$WEBGPU_STAMP" || "$(cat "$WEBGPU_STAMP")" != "$WEBGPU_INTEGRITY" ]]; then
  echo "setup: fetching $WEBGPU_PACKAGE@$WEBGPU_VERSION" >&2
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && npm pack --silent "$WEBGPU_PACKAGE@$WEBGPU_VERSION" </dev/null >/dev/null)
  tarball="$(ls "$work"/*.tgz)"
  actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
  if [[ "$actual" != "$WEBGPU_INTEGRITY" ]]; then
    echo "setup: integrity mismatch for $WEBGPU_PACKAGE@$WEBGPU_VERSION" >&2
    echo "setup:   expected $WEBGPU_INTEGRITY" >&2
    echo "setup:   got      $actual" >&2
    exit 1
  fi
  mkdir -p "$WEBGPU_DIR"
  tar -xzf "$tarball" -C "$work" package/libwebgpu_wrapper.so
  install -m 0755 "$work/package/libwebgpu_wrapper.so" "$WEBGPU_LIB"
  printf '%s' "$WEBGPU_INTEGRITY" >"$WEBGPU_STAMP"
fi
