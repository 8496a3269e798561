/*
 * The MOXCL script grammar.
 *
 * A script is an optional XML declaration (optionally followed by the VYO
 * instruction), the MOXCL root, LOGIN blocks inside it, command blocks inside
 * those, and the commands. A fixed set of commands has a shape of its own;
 * every other command has the generic shape of an element with up to four
 * attributes, possibly with empty child elements.
 *
 * The actions pace the stream-mode conversation, so when they run matters:
 * every action except the one for a SECURITY_MSG without VALUE sits where
 * the parser can reduce without a lookahead token, so it runs right after the
 * last token of its rule has been read (and forwarded), never after the next
 * one. Lists are left-recursive and the stacks hold 500 entries.
 */

%code requires {
struct ScriptReader;
}

%code {
#include <cstring>

#include "records/log_output.h"
#include "script/actions.h"
#include "script/lexer.h"
#include "script/parser.h"
#include "script/script_reader.h"

#define YYINITDEPTH 500
#define YYMAXDEPTH 500

static int yylex(YYSTYPE* value, ScriptReader& reader)
{
    int token = next_token(reader);
    *value = reader.scan.token_value;
    return token;
}

static void yyerror(ScriptReader& reader, const char* message)
{
    // The parser's own word for a full stack.
    if (strcmp(message, "memory exhausted") == 0)
        message = "yacc stack overflow";
    report_syntax_error(reader, message);
}

// An action that fails stops the parse at once.
#define STOP_IF(failed) do { if (failed) YYABORT; } while (0)
}

/* The value of a STRING or IDENTIFIER token: its text in the lexer's token
   value cell. */
%define api.value.type {const char*}
/* No state outside the parse: the reader whose script is parsed is handed
   to the scanner and to every action. */
%define api.pure full
%param {ScriptReader& reader}
%expect 0

%token OPEN_QTAG CLOSE_QTAG XML_TAG VYO_TAG
%token START_OPEN_TAG CLOSE_OPEN_TAG START_CLOSE_TAG END_TAG EQUALS HYPHEN
%token XMLDOC MOXCL LOGIN
%token UPDATE_MOX_FIRMWARE INSERT_VIRTUAL_FLOPPY COPY_VIRTUAL_FLOPPY
%token HOTKEY_CONFIG ADD_USER
%token IMPORT_CERTIFICATE IMPORT_CA_CERTIFICATE IMPORT_USER_CERTIFICATE
%token MOD_TWOFACTOR_SETTINGS IMPORT_SSH_KEY MOD_DIR_CONFIG DIR_KERBEROS_KEYTAB
%token MOD_SNMP_QX_SETTINGS
%token SNMP_ADDRESS_1_TRAPCOMMUNITY SNMP_ADDRESS_2_TRAPCOMMUNITY SNMP_ADDRESS_3_TRAPCOMMUNITY
%token BLOB_WRITE BLOB_DATA
%token SET_SECURITY_MSG SECURITY_MSG SECURITY_MSG_TEXT
%token VERSION ENTITY PROCESSING VALUE MODE IMAGE_LOCATION IMAGE_LENGTH
%token CTRL_W CTRL_X CTRL_Y CTRL_T CTRL_U CTRL_V
%token STRING IDENTIFIER TEXT_BLOCK

%start document

%%

/* The script */

document
    : moxcl_element
    | xml_declaration moxcl_element
    | xml_declaration vyo_instruction moxcl_element
    ;

xml_declaration
    : OPEN_QTAG XML_TAG version_attribute CLOSE_QTAG
        { declaration_action(reader); }
    ;

vyo_instruction
    : OPEN_QTAG VYO_TAG ENTITY HYPHEN PROCESSING EQUALS STRING CLOSE_QTAG
        { instruction_action(reader); }
    ;

version_attribute
    : VERSION EQUALS number_value
    ;

number_value
    : STRING    { STOP_IF(number_check(reader, $1)); }
    ;

moxcl_element
    : START_OPEN_TAG MOXCL version_attribute END_TAG
        { root_opened(reader); }
      login_blocks
      START_CLOSE_TAG MOXCL END_TAG
    ;

login_blocks
    : %empty
    | login_blocks login_block
    ;

login_block
    : START_OPEN_TAG LOGIN
        { login_started(reader); }
      user_attribute
        { login_user_read(reader); }
      password_attribute END_TAG
        { login_opened(reader); }
      command_blocks
      START_CLOSE_TAG LOGIN END_TAG
        { response_action(reader); }
    ;

user_attribute
    : element_name EQUALS STRING    { STOP_IF(user_name_check(reader, $3)); }
    ;

password_attribute
    : element_name EQUALS STRING    { STOP_IF(password_check(reader, $3)); }
    ;

command_blocks
    : %empty
    | command_blocks command_block
    ;

command_block
    : START_OPEN_TAG element_name MODE EQUALS mode_value END_TAG
        { response_action(reader); }
      commands
      START_CLOSE_TAG element_name END_TAG
        { block_closed(reader); }
    ;

mode_value
    : STRING    { STOP_IF(mode_check(reader, $1)); }
    ;

/* Commands */

commands
    : %empty
    | commands command
    ;

command
    : firmware_update
    | floppy_insert
    | floppy_copy
    | hotkey_config
    | add_user
    | import_certificate
    | set_security_msg
    | mod_twofactor_settings
    | import_ssh_key
    | mod_dir_config
    | mod_snmp_qx_settings
    | blob_write
    | generic_command
    ;

/* Image commands */

firmware_update
    : START_OPEN_TAG UPDATE_MOX_FIRMWARE image_attributes CLOSE_OPEN_TAG
        { STOP_IF(firmware_action(reader)); }
    ;

floppy_insert
    : START_OPEN_TAG INSERT_VIRTUAL_FLOPPY image_attributes CLOSE_OPEN_TAG
        { STOP_IF(floppy_insert_action(reader)); }
    ;

floppy_copy
    : START_OPEN_TAG COPY_VIRTUAL_FLOPPY image_location_attribute CLOSE_OPEN_TAG
        { STOP_IF(floppy_copy_action(reader)); }
    ;

image_attributes
    : image_location_attribute
    | image_location_attribute image_length_attribute
    | image_length_attribute image_location_attribute
    ;

image_location_attribute
    : IMAGE_LOCATION EQUALS STRING  { STOP_IF(keep_image_location(reader, $3)); }
    ;

image_length_attribute
    : IMAGE_LENGTH EQUALS integer_value
    ;

integer_value
    : STRING    { STOP_IF(integer_check(reader, $1)); }
    ;

/* Hotkeys */

hotkey_config
    : START_OPEN_TAG HOTKEY_CONFIG END_TAG
      hotkeys
      START_CLOSE_TAG HOTKEY_CONFIG END_TAG
        { response_action(reader); }
    ;

hotkeys
    : %empty
    | hotkeys hotkey
    ;

hotkey
    : START_OPEN_TAG hotkey_name VALUE EQUALS STRING CLOSE_OPEN_TAG
        { STOP_IF(hotkey_count_check(reader, $5)); }
    ;

hotkey_name
    : CTRL_W
    | CTRL_X
    | CTRL_Y
    | CTRL_T
    | CTRL_U
    | CTRL_V
    ;

/* Users and certificates */

add_user
    : START_OPEN_TAG ADD_USER generic_attribute generic_attribute generic_attribute END_TAG
        { response_action(reader); }
      generic_children
      START_CLOSE_TAG ADD_USER END_TAG
        { response_action(reader); }
    ;

import_certificate
    : START_OPEN_TAG IMPORT_CERTIFICATE END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG IMPORT_CERTIFICATE END_TAG
        { response_action(reader); }
    ;

/* Security message */

set_security_msg
    : START_OPEN_TAG SET_SECURITY_MSG END_TAG
        { response_action(reader); }
      security_msg_parts
      START_CLOSE_TAG SET_SECURITY_MSG END_TAG
        { response_action(reader); }
    ;

security_msg_parts
    : %empty
    | security_msg_parts security_msg
    | security_msg_parts security_msg_text
    ;

security_msg
    : START_OPEN_TAG SECURITY_MSG VALUE EQUALS boolean_value CLOSE_OPEN_TAG
        { response_action(reader); }
    | START_OPEN_TAG SECURITY_MSG
        {
            // Only known once the token after the keyword is read: that
            // token, the "/>", is dropped with the report.
            missing_boolean(reader);
            yyclearin;
        }
      CLOSE_OPEN_TAG
        { response_action(reader); }
    ;

boolean_value
    : STRING    { boolean_check(reader, $1); }
    ;

security_msg_text
    : START_OPEN_TAG SECURITY_MSG_TEXT END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG SECURITY_MSG_TEXT END_TAG
        { response_action(reader); }
    ;

/* Two-factor authentication */

mod_twofactor_settings
    : START_OPEN_TAG MOD_TWOFACTOR_SETTINGS END_TAG
      twofactor_parts
      START_CLOSE_TAG MOD_TWOFACTOR_SETTINGS END_TAG
    ;

twofactor_parts
    : %empty
    | twofactor_parts import_ca_certificate
    | twofactor_parts import_user_certificate
    | twofactor_parts generic_command
    ;

import_ca_certificate
    : START_OPEN_TAG IMPORT_CA_CERTIFICATE END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG IMPORT_CA_CERTIFICATE END_TAG
        { response_action(reader); }
    ;

import_user_certificate
    : START_OPEN_TAG IMPORT_USER_CERTIFICATE generic_attribute END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG IMPORT_USER_CERTIFICATE END_TAG
        { response_action(reader); }
    ;

import_ssh_key
    : START_OPEN_TAG IMPORT_SSH_KEY END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG IMPORT_SSH_KEY END_TAG
        { response_action(reader); }
    ;

/* Directory settings */

mod_dir_config
    : START_OPEN_TAG MOD_DIR_CONFIG END_TAG
      dir_config_parts
      START_CLOSE_TAG MOD_DIR_CONFIG END_TAG
    ;

dir_config_parts
    : %empty
    | dir_config_parts dir_kerberos_keytab
    | dir_config_parts generic_command
    ;

dir_kerberos_keytab
    : START_OPEN_TAG DIR_KERBEROS_KEYTAB END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG DIR_KERBEROS_KEYTAB END_TAG
        { response_action(reader); }
    ;

/* SNMP settings */

mod_snmp_qx_settings
    : START_OPEN_TAG MOD_SNMP_QX_SETTINGS END_TAG
      snmp_parts
      START_CLOSE_TAG MOD_SNMP_QX_SETTINGS END_TAG
    ;

snmp_parts
    : %empty
    | snmp_parts trap_community
    | snmp_parts generic_command
    ;

trap_community
    : START_OPEN_TAG trap_community_name VERSION EQUALS STRING VALUE EQUALS STRING CLOSE_OPEN_TAG
        { response_action(reader); }
    ;

trap_community_name
    : SNMP_ADDRESS_1_TRAPCOMMUNITY
    | SNMP_ADDRESS_2_TRAPCOMMUNITY
    | SNMP_ADDRESS_3_TRAPCOMMUNITY
    ;

/* Blobs */

blob_write
    : START_OPEN_TAG BLOB_WRITE END_TAG
      blob_parts
      START_CLOSE_TAG BLOB_WRITE END_TAG
    ;

blob_parts
    : %empty
    | blob_parts blob_data
    | blob_parts generic_command
    ;

blob_data
    : START_OPEN_TAG BLOB_DATA END_TAG
      TEXT_BLOCK
      START_CLOSE_TAG BLOB_DATA END_TAG
        { response_action(reader); }
    ;

/* Every other command */

generic_command
    : START_OPEN_TAG element_head CLOSE_OPEN_TAG
        { response_action(reader); }
    | START_OPEN_TAG element_head END_TAG
        { response_action(reader); }
      generic_children
      START_CLOSE_TAG element_name END_TAG
        { response_action(reader); }
    ;

generic_children
    : %empty
    | generic_children generic_child
    ;

generic_child
    : START_OPEN_TAG element_head CLOSE_OPEN_TAG
        { response_action(reader); }
    ;

/* At most four attributes; VALUE stands only first or third. */
element_head
    : element_name
    | element_name generic_attribute
    | element_name value_attribute
    | element_name generic_attribute generic_attribute
    | element_name value_attribute generic_attribute
    | element_name generic_attribute generic_attribute generic_attribute
    | element_name generic_attribute generic_attribute value_attribute
    | element_name generic_attribute generic_attribute generic_attribute generic_attribute
    | element_name value_attribute generic_attribute generic_attribute generic_attribute
    | element_name EQUALS STRING
    ;

generic_attribute
    : element_name EQUALS STRING
    ;

value_attribute
    : VALUE EQUALS STRING
    ;

element_name
    : IDENTIFIER    { name_action(reader, $1); }
    ;

%%

ParseResult parse_script(ScriptReader& reader)
{
    reader.lexer.line_counter = 0;
    reader.lexer.line_text[0] = '\0';
    reader.lexer.line_start = 0;
    reader.lexer.secret_spans.clear();
    try {
        ParseResult result = yyparse(reader) == 0 ? ParseResult::accepted : ParseResult::rejected;
        // A parse stopped early leaves text read ahead: the next parse
        // starts clean.
        reset_lexer(reader);
        return result;
    } catch (const ScriptInputFailed& failed) {
        // The scanner could not go on: its input failed.
        error_only(reader.run, "%s\n", failed.reason);
        reset_lexer(reader);
        return ParseResult::input_failed;
    }
}
