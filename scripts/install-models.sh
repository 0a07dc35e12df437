#!/usr/bin/env bash
# Fetches the vision models (face boxes, face descriptions, everyday objects) that Vesk runs with its
# own model runtime. They come from the npm package @vladmandic/human, checked against the SHA-512
# below, and only the three models Vesk uses are unpacked. Idempotent: nothing is fetched when the
# models folder already holds the models of this package.
#
#   VESK_MODELS_DIR   where the models go (default: build-models/ in the source tree)
#   VESK_NPM_CACHE    where the package tarball is kept (default: .cache/npm/ in the source tree)
set -euo pipefail

PACKAGE="@vladmandic/human"
VERSION="3.3.6"
TARBALL="vladmandic-human-${VERSION}.tgz"
# The registry's integrity value for this version (sha512-Nr5mPfq1...teCv6A==), in hexadecimal.
SHA512="36be663dfab5810fae29e5d8e6e337163f14c6f179084876b3ab71339c114e1a9a5b4985f61ba8a0eb994ab4fc8611a1a348466972c5740c1f0ffdbeb5e0afe8"
MODELS=(blazeface faceres centernet)

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
MODELS_DIR="${VESK_MODELS_DIR:-$ROOT/build-models}"
CACHE_DIR="${VESK_NPM_CACHE:-$ROOT/.cache/npm}"
STAMP="$MODELS_DIR/.package"

sha512_of() { sha512sum "$1" | cut -d' ' -f1; }

complete() {
  [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$PACKAGE@$VERSION $SHA512" ] || return 1
  for m in "${MODELS[@]}"; do
    [ -s "$MODELS_DIR/$m.json" ] && [ -s "$MODELS_DIR/$m.bin" ] || return 1
  done
}

if complete; then
  exit 0
fi

mkdir -p "$CACHE_DIR" "$MODELS_DIR"
if [ ! -f "$CACHE_DIR/$TARBALL" ] || [ "$(sha512_of "$CACHE_DIR/$TARBALL")" != "$SHA512" ]; then
  rm -f "$CACHE_DIR/$TARBALL"
  echo "Fetching $PACKAGE@$VERSION"
  (cd "$CACHE_DIR" && npm pack --silent "$PACKAGE@$VERSION" >/dev/null)
fi

actual="$(sha512_of "$CACHE_DIR/$TARBALL")"
if [ "$actual" != "$SHA512" ]; then
  echo "The downloaded $TARBALL does not have the expected SHA-512; refusing to use it." >&2
  rm -f "$CACHE_DIR/$TARBALL"
  exit 1
fi

unpack="$(mktemp -d)"
trap 'rm -rf "$unpack"' EXIT
members=()
for m in "${MODELS[@]}"; do members+=("package/models/$m.json" "package/models/$m.bin"); done
tar -xzf "$CACHE_DIR/$TARBALL" -C "$unpack" "${members[@]}" package/LICENSE
for m in "${MODELS[@]}"; do
  install -m 0644 "$unpack/package/models/$m.json" "$unpack/package/models/$m.bin" "$MODELS_DIR/"
done
install -m 0644 "$unpack/package/LICENSE" "$MODELS_DIR/LICENSE"
echo "$PACKAGE@$VERSION $SHA512" >"$STAMP"
echo "Vision models in $MODELS_DIR"
