# Copies config.xml and the language files next to the executable; the
# product title in the language files follows the build's product.
#
# Each shipped file is written from one base file in Language/: a customer's
# variant carries its base language's texts, so every language has a single
# source to translate.
set(shippedLanguages
    ENU.xml=ENU.xml
    ENU_WD.xml=ENU.xml
    ENU_FY.xml=ENU.xml
    ENU_MV.xml=ENU.xml
    ENU_JC.xml=ENU.xml
    ENU_TK.xml=ENU.xml
    ENU_QB.xml=ENU.xml
    ENU_ORP.xml=ENU.xml
    ENU_KELM.xml=ENU.xml
    ENU_BRINDOLAX.xml=ENU.xml
    CHT.xml=CHT.xml
    CHS.xml=CHS.xml
    GER.xml=GER.xml
    RUS_CJ.xml=RUS.xml
    RUS_DW.xml=RUS.xml
    RUS_GH.xml=RUS.xml
    RUS_UZ.xml=RUS.xml
    RUS_XN.xml=RUS.xml
    RUS_YB.xml=RUS.xml
    RUS_NF.xml=RUS.xml
    KOR_T_MU.xml=KOR.xml
    KR_3952.xml=KOR.xml
    KOR_KELM.xml=KOR.xml
    JAPAN_KELM.xml=JAPAN.xml
    TUR_MOVREK.xml=TUR.xml
    PORT_BRINDOLAX.xml=PORT.xml
    PORT_GANU.xml=PORT.xml)

file(MAKE_DIRECTORY ${OUTPUT_DIR}/Language)
foreach(entry ${shippedLanguages})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 name)
    list(GET pair 1 base)
    file(READ ${SOURCE_DIR}/Language/${base} content)
    string(REPLACE "Quelvar IP Scanner" "${PRODUCT_TITLE}" content "${content}")
    set(target ${OUTPUT_DIR}/Language/${name})
    set(old "")
    if(EXISTS ${target})
        file(READ ${target} old)
    endif()
    if(NOT old STREQUAL content)
        file(WRITE ${target} "${content}")
    endif()
endforeach()
configure_file(${SOURCE_DIR}/config.xml ${OUTPUT_DIR}/config.xml COPYONLY)
