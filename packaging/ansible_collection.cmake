# The Ansible collection quorvex.moxcl as a tarball of the release, made by
# ansible-galaxy from a copy of ansible/ansible_collections/quorvex/moxcl
# whose galaxy.yml carries the product's version.
#   cmake -D SOURCE=... -D OUTPUT=... -D VERSION=... -D GALAXY=... -P ansible_collection.cmake
file(REMOVE_RECURSE ${OUTPUT}/moxcl)
file(COPY ${SOURCE}/ DESTINATION ${OUTPUT}/moxcl PATTERN __pycache__ EXCLUDE PATTERN "*.tar.gz" EXCLUDE
     PATTERN "tests/output" EXCLUDE)
file(READ ${OUTPUT}/moxcl/galaxy.yml galaxy)
string(REGEX REPLACE "\nversion: [^\n]*\n" "\nversion: ${VERSION}\n" galaxy "${galaxy}")
file(WRITE ${OUTPUT}/moxcl/galaxy.yml "${galaxy}")
execute_process(COMMAND ${GALAXY} collection build --force --output-path ${OUTPUT} ${OUTPUT}/moxcl
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ansible-galaxy collection build failed (${status})")
endif()
# ansible-galaxy's gzip header carries the time of the build: write it again
# without one, so that two builds of one source give the same file.
set(tarball ${OUTPUT}/quorvex-moxcl-${VERSION}.tar.gz)
execute_process(COMMAND gzip -dc ${tarball} OUTPUT_FILE ${OUTPUT}/moxcl.tar RESULT_VARIABLE status)
if(status EQUAL 0)
  execute_process(COMMAND gzip -n -9 -c ${OUTPUT}/moxcl.tar OUTPUT_FILE ${tarball} RESULT_VARIABLE status)
endif()
file(REMOVE ${OUTPUT}/moxcl.tar)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the collection tarball could not be written again without its time (${status})")
endif()
