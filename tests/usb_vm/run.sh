#!/usr/bin/env bash
# The USB route against the real kernel: boots Debian's kernel under QEMU
# (software emulation: no KVM, no host USB, no network) with USB printers
# played by gadget drivers on dummy_hcd, and runs mklabel_usb_vm_check there.
# Installs what it needs; downloads are kept under BUILD_DIR/usb-vm/cache.
#
#   tests/usb_vm/run.sh BUILD_DIR
#
# Exits 0 only when every check in the machine passed.
set -euo pipefail

build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$build/usb-vm
cache=$work/cache
check_program=$build/tests/usb_vm/mklabel_usb_vm_check
# The machine's own bound, well above the ~2 minutes it takes on 2 cores.
machine_limit=480

[ -x "$check_program" ] || { echo "usb-test: $check_program is missing; build first" >&2; exit 1; }
mkdir -p "$cache"

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# shellcheck source=scripts/apt-lock.sh
. "$here/../../scripts/apt-lock.sh"

# Packages: the emulator, a static shell for the machine, the archive tools.
packages=(qemu-system-x86 busybox-static cpio kmod)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "usb-test: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's kernel: the package linux-image-amd64 points to, unpacked only
# (installing it would run the boot loader's hooks).
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}
package=$(kernel_package)
if [ -z "$package" ]; then
    apt_get update -qq
    package=$(kernel_package)
fi
[ -n "$package" ] || { echo "usb-test: no kernel package found" >&2; exit 1; }
kernel_root=$cache/$package
if [ ! -d "$kernel_root" ]; then
    rm -rf "$cache/download" && mkdir -p "$cache/download"
    (cd "$cache/download" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    deb=$(ls "$cache"/download/*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || { echo "usb-test: could not download $package" >&2; exit 1; }
    dpkg-deb -x "$deb" "$kernel_root.partial"
    mv "$kernel_root.partial" "$kernel_root"
    rm -rf "$cache/download"
fi
version=$(ls "$kernel_root/lib/modules" | head -n 1)
vmlinuz=$kernel_root/boot/vmlinuz-$version

# The machine's initramfs: busybox, the USB modules, the check program and
# every shared library it loads.
root=$work/root
rm -rf "$root"
mkdir -p "$root/bin" "$root/modules" "$root/usbvm"
cp /bin/busybox "$root/bin/busybox"
for module in usb-common usbcore configfs udc-core libcomposite usb_f_printer usb_f_fs usblp dummy_hcd; do
    file=$(find "$kernel_root/lib/modules/$version" -name "$module.ko*" | head -n 1)
    case "$file" in
        "") ;;  # built into the kernel
        *.ko) cp "$file" "$root/modules/$module.ko" ;;
        *.ko.xz) xz -dc "$file" >"$root/modules/$module.ko" ;;
        *.ko.zst) zstd -qdc "$file" >"$root/modules/$module.ko" ;;
        *) echo "usb-test: cannot unpack $file" >&2; exit 1 ;;
    esac
done
cp "$check_program" "$root/usbvm/"
cp "$here/init" "$root/init"
chmod +x "$root/init"
# The loader stays where programs name it; every other library goes to one
# folder of the machine's own (init puts it in LD_LIBRARY_PATH), so that no
# path in the machine depends on where the build lives (init mounts a tmpfs
# over /tmp).
mkdir -p "$root/usbvm/lib"
ldd "$check_program" | awk '/=> \// {print $3}' | sort -u | while read -r library; do
    cp -L "$library" "$root/usbvm/lib/"
done
loader=$(ldd "$check_program" | awk '/^[[:space:]]*\// {print $1}')
[ -n "$loader" ] || { echo "usb-test: no loader found for $check_program" >&2; exit 1; }
mkdir -p "$root$(dirname "$loader")"
cp -L "$loader" "$root$loader"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

echo "usb-test: booting $package with $(du -sh "$work/initramfs.cpio" | cut -f1) initramfs"
start=$(date +%s)
log=$work/console.log
set +e
timeout "$machine_limit" qemu-system-x86_64 -accel tcg -smp 2 -m 1024 \
    -display none -monitor none -serial stdio -no-reboot -nic none \
    -kernel "$vmlinuz" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 rdinit=/init" </dev/null | tr -d '\r' | tee "$log"
machine=${PIPESTATUS[0]}
set -e
echo "usb-test: the machine ran $(( $(date +%s) - start )) s"

summary=$(grep -a -E '^usbvm: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)
if [ "$machine" -eq 124 ]; then
    echo "usb-test: FAILED: the machine did not finish within $machine_limit s"
    exit 1
fi
if [ -z "$summary" ]; then
    echo "usb-test: FAILED: the checks did not run to the end (console in $log)"
    exit 1
fi
failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) failed.*/\1/')
passed=$(echo "$summary" | sed -E 's/^usbvm: ([0-9]+) passed.*/\1/')
if [ "$failed" -ne 0 ] || [ "$passed" -eq 0 ] || ! grep -aq '^usbvm: exit status 0' "$log"; then
    echo "usb-test: FAILED: $passed passed, $failed failed"
    exit 1
fi
echo "usb-test: all $passed checks passed"
