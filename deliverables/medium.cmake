# Writes the installation medium: cmake -DSRC=... -DBIN=... -DLIB=... -DOUT=... -P medium.cmake
# Build outputs are hard-linked (copied where links do not work), sample data
# copied, texts written here.
cmake_minimum_required(VERSION 3.25)

set(LANGUAGES US UK JPN GER TChi ARA)
set(KINDS NEVO1100 NEVO2600)
set(MODEL_NEVO1100 "NEVO RP1100")
set(MODEL_NEVO2600 "NEVO RP2600")
set(OS_FOLDERS x86 x64)

function(place from to)
  get_filename_component(dir "${to}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(REMOVE "${to}")
  file(CREATE_LINK "${from}" "${to}" COPY_ON_ERROR)
endfunction()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
place("${BIN}/setup" "${OUT}/Setup.exe")

# Setup.ini: the full installer with the language page.
set(ini "[Setup]\nType=4\nLangStyle=2\n[DLL]\nFolderName=NEVO\n")
foreach(lang ${LANGUAGES})
  string(TOLOWER ${lang} low)
  string(APPEND ini "${lang}=lang_${low}.dll\n")
endforeach()
string(APPEND ini "[OS]\nWin8x64=x64\nWin7x64=x64\nWinVistax64=x64\n"
                  "Win8=x86\nWin7=x86\nWinVista=x86\nSv2003=x86\nWinXP=x86\nWin2000=x86\nSv2000=x86\n[Language]\n")
foreach(lang ${LANGUAGES})
  string(APPEND ini "${lang}=${lang}\n")
endforeach()
string(APPEND ini "Default=US\n[PVAPP]\nFileName=pvedit.exe\n")
# The manual: the README as a page a browser opens, in English for every language.
set(MANUAL_LANGUAGE English)
string(APPEND ini "[Manual]\nFolderName=Manual\n")
foreach(lang ${LANGUAGES})
  string(APPEND ini "${lang}=${MANUAL_LANGUAGE}\n")
endforeach()
file(WRITE "${OUT}/Setup.ini" "${ini}")
find_program(PYTHON3 python3 REQUIRED)
set(manualDir "${OUT}/Manual/NEVO RP/${MANUAL_LANGUAGE}")
file(MAKE_DIRECTORY "${manualDir}")
execute_process(COMMAND "${PYTHON3}" "${SRC}/tools/makeres/readme_html.py" "${SRC}/README.md"
                        "${manualDir}/NEVO Printer Driver Manual.html"
                RESULT_VARIABLE manualResult)
if(NOT manualResult EQUAL 0)
  message(FATAL_ERROR "the manual could not be written from README.md")
endif()

# inst.ini: one kind per sample model.
list(JOIN KINDS "," kindNames)
set(inst "[Model]\nKindNum=2\nKindName=${kindNames}\nValidOutPut=1\n")
foreach(kind ${KINDS})
  string(TOLOWER ${kind} low)
  string(APPEND inst "[${kind}]\nINF=,${low}.inf\n")
endforeach()
string(APPEND inst "[Driver]\nFolderName=Driver\n[Setup]\nReadmeJPN=readme.txt\nReadmeENG=readme.txt\nexcept=\n")
file(WRITE "${OUT}/inst.ini" "${inst}")
file(WRITE "${OUT}/readme.txt" "NEVO printer driver\n")

file(WRITE "${OUT}/uninst.ini"
     "[Model]\nNum=2\n\"${MODEL_NEVO1100}\"=0,0\n\"${MODEL_NEVO2600}\"=1,0\n[Folder]\nNum=1\n0=NEVO RP\n")

# NEVO\: the installer libraries and one language library per language.
place("${LIB}/installcore.so" "${OUT}/NEVO/installcore.dll")
place("${LIB}/installcore9x.so" "${OUT}/NEVO/installcore9x.dll")
foreach(outside Nevosrch Nevopcfg QP4WInst)
  place("${LIB}/${outside}.so" "${OUT}/NEVO/${outside}.dll")
endforeach()
file(READ "${SRC}/data/resources/installer_pages.res.txt" pages)
file(READ "${SRC}/data/resources/uninstaller_pages.res.txt" uninstallerPages)
# The preview program of the models with the preview flag (a stub here).
file(WRITE "${OUT}/NEVO/Preview and Edit/pvedit.exe" "NEVO Preview and Edit (stub)\n")
foreach(lang ${LANGUAGES})
  string(TOLOWER ${lang} low)
  string(CONCAT res "RESOURCES 1\n# Installer texts (${lang}).\n[STRINGTABLE]\n4\tNEVO Installer (${lang})\n6\tEnter a printer name.\n"
          "7\tA printer of this name exists.\n8\tThe printer name holds a character that is not allowed.\n9\tCopy\n"
          "10\tNEVO\n11\tUSB memory\n12\tNEVO Preview\n27\tNo printer of this package is installed.\n"
          "28\tLeave the installation?\n29\tLeave the uninstallation?\n31\tThe installation failed.\n"
          "32\tPrint a test page?\n45\tUninstall NEVO printer driver\n")
  if(lang STREQUAL "ARA")
    string(APPEND res "40\t23\n")
  endif()
  string(APPEND res "${pages}${uninstallerPages}")
  file(WRITE "${OUT}/NEVO/lang_${low}.dll" "${res}")
endforeach()

# Driver\<OS>\<kind>\<language>\: an INF and its files. NEVO2600 names a print processor.
foreach(os ${OS_FOLDERS})
  foreach(kind ${KINDS})
    string(TOLOWER ${kind} low)
    set(model "${MODEL_${kind}}")
    set(files "NEVORES.DLL\nclassicrender.dll\nclassicui.dll\n")
    set(sources "${kind}.RDF=1\nNEVORES.DLL=1\nclassicrender.dll=1\nclassicui.dll=1\n")
    set(install "[${kind}]\nCopyFiles=@${kind}.RDF,NEVO_FILES")
    set(extra "")
    if(kind STREQUAL "NEVO2600")
      string(APPEND install ",PROC_FILES\nPrintProcessor=%PPROC%")
      string(APPEND sources "nevopp.dll=1\n")
      set(extra "[PROC_FILES]\nnevopp.dll\n")
    endif()
    string(CONCAT inf "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nProvider=%MFG%\n"
            "[Manufacturer]\n%MFG%=NEVO,NTamd64\n[NEVO]\n\"${model}\"=${kind}\n[NEVO.NTamd64]\n\"${model}\"=${kind}\n"
            "[OEM URLS]\n%MFG%=\"http://duplicator.invalid/\"\n"
            "${install}\nDataSection=NEVO_DATA\n[NEVO_DATA]\nDriverFile=classicrender.dll\nConfigFile=classicui.dll\n"
            "[NEVO_FILES]\n${files}${extra}"
            "[DestinationDirs]\nDefaultDestDir=66000\nPROC_FILES=66001\n[SourceDisksNames]\n1=\"NEVO\",,,\n"
            "[SourceDisksFiles]\n${sources}"
            "[Strings]\nMFG=\"NEVO Duplicators\"\nPPROC=\"NEVO Processor,nevopp.dll\"\n")
    foreach(lang ${LANGUAGES})
      set(dir "${OUT}/Driver/${os}/${kind}/${lang}")
      file(WRITE "${dir}/${low}.inf" "${inf}")
      file(COPY_FILE "${SRC}/data/models/${kind}.RDF" "${dir}/${kind}.RDF")
      file(COPY_FILE "${SRC}/data/resources/NEVORES.DLL" "${dir}/NEVORES.DLL")
      place("${LIB}/classicrender.so" "${dir}/classicrender.dll")
      place("${LIB}/classicui.so" "${dir}/classicui.dll")
      if(kind STREQUAL "NEVO2600")
        file(WRITE "${dir}/nevopp.dll" "NEVO print processor (stub)\n")
      endif()
    endforeach()
  endforeach()
endforeach()
