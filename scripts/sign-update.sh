#!/usr/bin/env bash
# Signs a release package for the update feed and prints its feed item.
#   scripts/sign-update.sh KEY.pem PACKAGE.deb VERSION URL
# KEY.pem is the release signing key (ed25519, kept outside the repository);
# its public half, as base64 of the raw 32 bytes, is LUMARIENT_UPDATE_PUBLIC_KEY:
#   openssl pkey -in KEY.pem -pubout -outform DER | tail -c 32 | base64
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 KEY.pem PACKAGE.deb VERSION URL" >&2
  exit 2
fi
key="$1" package="$2" version="$3" url="$4"
signature="$(openssl pkeyutl -sign -inkey "$key" -rawin -in "$package" | base64 -w0)"
length="$(stat -c %s "$package")"
cat <<ITEM
<item>
  <title>Version $version</title>
  <sparkle:version>$version</sparkle:version>
  <pubDate>$(date -R)</pubDate>
  <enclosure url="$url" length="$length" type="application/vnd.debian.binary-package"
             sparkle:edSignature="$signature"/>
</item>
ITEM
