# Writes the page into OUT: its own files as they are, and converter.js, the
# worker's one script as the body of one function, seqconvWorker, which the
# page starts as a worker from a Blob of its source text. A page opened from
# file:// can load scripts but can neither start a worker from a file nor
# fetch one; the WebAssembly module rides inside MODULE as base64 for the
# same reason.
#
#   cmake -D MODULE=seqconv-wasm.js -D SOURCE_DIR=web -D OUT=page -P web/assemble.cmake

foreach(file index.html style.css page.js zip.js convert.js song.js synth.js roll.js)
    configure_file(${SOURCE_DIR}/${file} ${OUT}/${file} COPYONLY)
endforeach()

set(body "")
foreach(script ${MODULE} ${SOURCE_DIR}/convert.js ${SOURCE_DIR}/zip.js ${SOURCE_DIR}/worker.js)
    file(READ ${script} text)
    string(APPEND body "${text}\n")
endforeach()
file(WRITE ${OUT}/converter.js.new
     "// Made by web/assemble.cmake from the WebAssembly module and web/convert.js,\n"
     "// zip.js and worker.js.\n"
     "function seqconvWorker() {\n${body}}\n")
file(RENAME ${OUT}/converter.js.new ${OUT}/converter.js)
