"""The Debian package that `cpack -G DEB` makes from this build, inspected
without installing it: where every file goes, the browsers' host
registrations and the extension they admit (unpacked for Chromium, packed
where Firefox looks for it), the autostart entry, and module
libraries free of the build tree's library path."""

import base64
import glob
import hashlib
import json
import os
import subprocess
import tempfile
import unittest
import zipfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PROGRAM_DIR = "opt/zorva-plugin"
HOST_NAME = "org.zorva.plugin"
# The extension as it is shipped, unpacked and packed for Firefox.
EXTENSION_FILES = ("manifest.json", "background.js", "content.js", "frame.html", "frame.js")


def chromium_extension_id(manifest):
    """The id Chromium gives an extension with a fixed key: the first 128 bits
    of the key's SHA-256, one letter a..p for each half byte."""
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return "".join(chr(ord("a") + int(digit, 16)) for digit in digest)


class DebPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="zorva-deb-")
        subprocess.run(["cpack", "-G", "DEB", "-B", cls.work.name], cwd=os.environ["ZORVA_BUILD"],
                       check=True, capture_output=True)
        (cls.deb,) = glob.glob(os.path.join(cls.work.name, "*.deb"))
        cls.root = os.path.join(cls.work.name, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)
        listing = subprocess.run(["dpkg-deb", "-c", cls.deb], check=True, capture_output=True,
                                 text=True).stdout
        cls.files = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
        with open(os.path.join(REPO, "extension", "manifest.json"), encoding="utf-8") as manifest:
            cls.extension = json.load(manifest)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def json_file(self, path):
        with open(os.path.join(self.root, path.lstrip("/")), encoding="utf-8") as file:
            return json.load(file)

    def test_program_directory_under_opt_holds_host_modules_configuration_and_style(self):
        for name in ("plugin", "libzorvaenv.so", "libzorvaprompt.so", "config.json", "style.css",
                     "localization.qm",
                     "modules/libwsmodule.so", "modules/libsystemmodule.so",
                     "modules/libnmhmodule.so", "modules/libcryptomodule.so"):
            self.assertIn("/%s/%s" % (PROGRAM_DIR, name), self.files)

    def test_signing_libraries_are_dependencies_and_smart_card_packages_recommended(self):
        def field(name):
            return subprocess.run(["dpkg-deb", "-f", self.deb, name], check=True,
                                  capture_output=True, text=True).stdout
        depends = field("Depends")
        for library in ("libp11-kit0", "libssl3", "libqt5widgets5"):
            self.assertIn(library, depends)
        self.assertEqual(field("Recommends").strip(), "opensc-pkcs11, pcscd")

    def test_chromium_and_chrome_registrations_admit_only_our_extension(self):
        origin = "chrome-extension://%s/" % chromium_extension_id(self.extension)
        for directory in ("/etc/chromium/native-messaging-hosts",
                          "/etc/opt/chrome/native-messaging-hosts"):
            manifest = self.json_file("%s/%s.json" % (directory, HOST_NAME))
            self.assertEqual((manifest["name"], manifest["type"]), (HOST_NAME, "stdio"))
            self.assertEqual(manifest["path"], "/%s/plugin" % PROGRAM_DIR)
            self.assertEqual(manifest["allowed_origins"], [origin])

    def test_firefox_registration_admits_the_extensions_firefox_id(self):
        manifest = self.json_file("/usr/lib/mozilla/native-messaging-hosts/%s.json" % HOST_NAME)
        self.assertEqual(manifest["path"], "/%s/plugin" % PROGRAM_DIR)
        self.assertEqual(manifest["allowed_extensions"],
                         [self.extension["browser_specific_settings"]["gecko"]["id"]])

    def test_firefox_finds_the_same_extension_packed_under_its_firefox_id(self):
        gecko_id = self.extension["browser_specific_settings"]["gecko"]["id"]
        xpi = os.path.join(self.root, "usr/share/mozilla/extensions",
                           "{ec8030f7-c20a-464f-9b0e-13a3a9e97384}", gecko_id + ".xpi")
        with zipfile.ZipFile(xpi) as packed:
            self.assertEqual(sorted(packed.namelist()),
                             sorted(EXTENSION_FILES))
            for name in packed.namelist():
                with open(os.path.join(REPO, "extension", name), "rb") as source:
                    self.assertEqual(packed.read(name), source.read(), name)

    def test_unpacked_extension_and_autostart_entry_of_websocket_mode(self):
        for name in EXTENSION_FILES:
            self.assertIn("/usr/share/zorva-plugin/extension/" + name, self.files)
        with open(os.path.join(self.root, "etc/xdg/autostart/zorva-plugin.desktop")) as entry:
            self.assertIn("Exec=/%s/plugin -P ws\n" % PROGRAM_DIR, entry.read())

    def test_files_under_etc_are_conffiles(self):
        control = subprocess.run(["dpkg-deb", "-I", self.deb, "conffiles"], check=True,
                                 capture_output=True, text=True).stdout.split()
        self.assertEqual(sorted(control), sorted(f for f in self.files
                                                 if f.startswith("/etc/") and not f.endswith("/")))

    def test_binaries_are_stripped_and_modules_name_no_library_path(self):
        for binary in glob.glob(os.path.join(self.root, PROGRAM_DIR, "modules", "*.so")):
            dynamic = subprocess.run(["readelf", "-d", binary], check=True, capture_output=True,
                                     text=True).stdout
            self.assertNotIn("RUNPATH", dynamic, binary)
            self.assertNotIn("RPATH", dynamic, binary)
            sections = subprocess.run(["readelf", "-S", binary], check=True, capture_output=True,
                                      text=True).stdout
            self.assertNotIn(".debug_info", sections, binary)


if __name__ == "__main__":
    unittest.main()
