# The Debian package of both programs, made by CPack from the plain build ($(BUILD), configured
# for the install prefix /usr), with its desktop entries and metainfo validated and lintian run
# on it; and the check that installs it on this machine and starts both programs. CPack installs
# just what is built here (the programs and their files), not every test first.
PACKAGE_TOOLS := dpkg-dev lintian desktop-file-utils appstream
PACKAGE_OUT   ?= $(BUILD)/package
PACKAGE_ABS    = $(abspath $(PACKAGE_OUT))

.PHONY: package install-check

package:
	@bash scripts/setup.sh $(PACKAGE_TOOLS)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DSANITIZE=$(SANITIZE) \
	  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target Dravik Sorvane packaging_files
	@rm -rf $(PACKAGE_ABS) && mkdir -p $(PACKAGE_ABS)
	@cd $(BUILD) && cpack -G DEB -B $(PACKAGE_ABS) >$(PACKAGE_ABS)/cpack.log || \
	  { cat $(PACKAGE_ABS)/cpack.log; exit 1; }
	@set -e; staged=$(PACKAGE_ABS)/_CPack_Packages; \
	  for f in $$(find $$staged -name '*.desktop'); do desktop-file-validate $$f; done; \
	  appstreamcli validate --no-net --explain $$(find $$staged -name '*.metainfo.xml')
	@set -e; deb=$$(ls $(PACKAGE_ABS)/*.deb); lintian --fail-on error $$deb; \
	  echo "package: $$deb"; dpkg-deb -f $$deb Depends Recommends Suggests

install-check:
	@set -e; deb=$$(ls $(PACKAGE_ABS)/*.deb 2>/dev/null) || \
	  { echo "install-check: no package in $(PACKAGE_OUT); make package first"; exit 1; }; \
	  bash scripts/install-check.sh $$deb
