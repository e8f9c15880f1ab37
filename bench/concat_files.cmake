# cmake -DOUTPUT=file -DINPUTS="a;b;c" -P concat_files.cmake: writes the text files INPUTS one
# after the other into OUTPUT (the plain-text file of the benchmark corpus).
file(WRITE ${OUTPUT} "")
foreach(input IN LISTS INPUTS)
  file(READ ${input} text)
  file(APPEND ${OUTPUT} "${text}")
endforeach()
