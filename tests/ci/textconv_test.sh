#!/usr/bin/env bash
# textconv as git's diff driver, as the man page sets it up: a real git diff of two packages
# shows the layout line and the image that changed.
# Usage: textconv_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
export PATH="$build:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$source/examples/layout.xml" "$source/examples/icon.png" "$source/examples/logo.jpg" .
branding-package-inspect build layout.xml -o brand.pkg >/dev/null
git init -q .
git config user.email ci@example.invalid
git config user.name CI
echo '*.pkg diff=branding' > .gitattributes
git config diff.branding.textconv 'branding-package-inspect textconv'
git add .gitattributes brand.pkg
git commit -qm package
sed -i 's|<app-name>Demo</app-name>|<app-name>Demo 2</app-name>|' layout.xml
cp logo.jpg other.jpg
printf 'x' >> logo.jpg
branding-package-inspect build layout.xml -o brand.pkg >/dev/null
diff=$(git diff brand.pkg)
failures=0
for expected in '-/vantu-client-branding/app-name = "Demo"' \
                '+/vantu-client-branding/app-name = "Demo 2"' \
                '-logo.jpg: JPEG, 96x32 pixels, 877 bytes, sha256 ' \
                '+logo.jpg: JPEG, 96x32 pixels, 878 bytes, sha256 '; do
  grep -qF -- "$expected" <<<"$diff" || { echo "FAIL: git diff lacks: $expected"; failures=1; }
done
grep -q '^Binary files' <<<"$diff" && { echo "FAIL: git diff saw binary files"; failures=1; }
[ $failures -eq 0 ] && echo "textconv: git diff shows the package as text"
exit $failures
