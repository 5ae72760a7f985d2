#include "evaluator/evaluator.h"
#include "evaluator/handlers.h"
#include "frontend/grammar_symbols.h"

namespace Karsto {

// One case per production, no default: -Wswitch reports a production left out. The
// productions are grouped by area; an area whose actions are not built yet sends its
// productions to Eval::notImplemented, and building it replaces its group's return by
// one case per production calling that production's action.
void evaluateProduction(Evaluator& evaluator, Parser::AstNode& node, int32_t step) {
    switch (static_cast<Prod>(node.production())) {
    // Program and statement lists
    case Prod::gdecl_0: // gdecl -> rd_block_var
        return Eval::gdecl_0(evaluator, node, step);
    case Prod::gdecl_1: // gdecl -> function_declaration
        return Eval::gdecl_1(evaluator, node, step);
    case Prod::gdecl_2: // gdecl -> data_type_declaration
        return Eval::gdecl_2(evaluator, node, step);
    case Prod::gdecl_3: // gdecl -> classdecl
        return Eval::gdecl_3(evaluator, node, step);
    case Prod::gdecl_4: // gdecl -> interfacedecl
        return Eval::gdecl_4(evaluator, node, step);
    case Prod::gdecl_5: // gdecl -> nsdecl
        return Eval::gdecl_5(evaluator, node, step);
    case Prod::gprogram_0: // gprogram -> statement_decl_list
        return Eval::gprogram_0(evaluator, node, step);
    case Prod::root_0: // root -> gprogram
        return Eval::root_0(evaluator, node, step);
    case Prod::statement_decl_0: // statement_decl -> statement
        return Eval::statement_decl_0(evaluator, node, step);
    case Prod::statement_decl_1: // statement_decl -> gdecl
        return Eval::statement_decl_1(evaluator, node, step);
    case Prod::statement_decl_list_1: // statement_decl_list -> statement_decl_list statement_decl
        return Eval::statement_decl_list_1(evaluator, node, step);
    case Prod::statement_list_1: // statement_list -> statement_list statement
        return Eval::statement_list_1(evaluator, node, step);
    case Prod::ststatement_0: // ststatement -> ';'
        return Eval::ststatement_0(evaluator, node, step);
    case Prod::ststatement_1: // ststatement -> assignment_statement ';'
        return Eval::ststatement_1(evaluator, node, step);
    case Prod::ststatement_2: // ststatement -> dynassignment_statement ';'
        return Eval::ststatement_2(evaluator, node, step);
    case Prod::ststatement_3: // ststatement -> subprogram_control_statement ';'
        return Eval::ststatement_3(evaluator, node, step);
    case Prod::ststatement_4: // ststatement -> selection_statement
        return Eval::ststatement_4(evaluator, node, step);
    case Prod::ststatement_5: // ststatement -> iteration_statement
        return Eval::ststatement_5(evaluator, node, step);

    // G-code blocks
    case Prod::gexpression_1: // gexpression -> gexpression g'+' gterm
        return Eval::gexpression_1(evaluator, node, step);
    case Prod::gexpression_2: // gexpression -> gexpression g'-' gterm
        return Eval::gexpression_2(evaluator, node, step);
    case Prod::gnumber_0: // gnumber -> <integer>
        return Eval::gnumber_0(evaluator, node, step);
    case Prod::gnumber_1: // gnumber -> <float>
        return Eval::gnumber_1(evaluator, node, step);
    case Prod::gprimary_expression_1: // gprimary_expression -> gvariable
        return Eval::gprimary_expression_1(evaluator, node, step);
    case Prod::gstatement_0: // gstatement -> <newline>
        return Eval::gstatement_0(evaluator, node, step);
    case Prod::gstatement_2_0: // gstatement_2 -> gstatement_3 gword_list <newline>
        return Eval::gstatement_2_0(evaluator, node, step);
    case Prod::gstatement_3_0: // gstatement_3 -> (empty)
        return Eval::gstatement_3_0(evaluator, node, step);
    case Prod::gstatement_3_1: // gstatement_3 -> g'/'
        return Eval::gstatement_3_1(evaluator, node, step);
    case Prod::gstatement_3_2: // gstatement_3 -> g'/' <integer>
        return Eval::gstatement_3_2(evaluator, node, step);
    case Prod::gterm_1: // gterm -> gterm g'*' gunary_expression
        return Eval::gterm_1(evaluator, node, step);
    case Prod::gterm_2: // gterm -> gterm g'/' gunary_expression
        return Eval::gterm_2(evaluator, node, step);
    case Prod::gunary_expression_1: // gunary_expression -> g'-' gprimary_expression
        return Eval::gunary_expression_1(evaluator, node, step);
    case Prod::gvalue_1: // gvalue -> g'-' gnumber
        return Eval::gvalue_1(evaluator, node, step);
    case Prod::gvalue_2: // gvalue -> g'=' gexpression
        return Eval::gvalue_2(evaluator, node, step);
    case Prod::gvalue_3: // gvalue -> expression
        return Eval::gvalue_3(evaluator, node, step);
    case Prod::gvalue_4: // gvalue -> g'=' expression
        return Eval::gvalue_4(evaluator, node, step);
    case Prod::gvariable_0: // gvariable -> <G-Code address letter>
        return Eval::gvariable_0(evaluator, node, step);
    case Prod::gword_0: // gword -> <G-Code address letter> gvalue
        return Eval::gword_0(evaluator, node, step);
    case Prod::gword_list_1: // gword_list -> gword_list gword
        return Eval::gword_list_1(evaluator, node, step);

    // Literals, operator expressions and the elementary type names of typed literals
    case Prod::binary_integer_0: // binary_integer -> <binary integer>
        return Eval::binary_integer_0(evaluator, node, step);
    case Prod::bit_string_literal_0: // bit_string_literal -> bit_string_type_name_no_bool '#' bit_string_literal_2
        return Eval::bit_string_literal_0(evaluator, node, step);
    case Prod::bit_string_type_name_0: // bit_string_type_name -> BOOL
        return Eval::bit_string_type_name_0(evaluator, node, step);
    case Prod::bit_string_type_name_1: // bit_string_type_name -> BYTE
        return Eval::bit_string_type_name_1(evaluator, node, step);
    case Prod::bit_string_type_name_2: // bit_string_type_name -> WORD
        return Eval::bit_string_type_name_2(evaluator, node, step);
    case Prod::bit_string_type_name_3: // bit_string_type_name -> DWORD
        return Eval::bit_string_type_name_3(evaluator, node, step);
    case Prod::bit_string_type_name_4: // bit_string_type_name -> LWORD
        return Eval::bit_string_type_name_4(evaluator, node, step);
    case Prod::bit_string_type_name_no_bool_0: // bit_string_type_name_no_bool -> BYTE
        return Eval::bit_string_type_name_no_bool_0(evaluator, node, step);
    case Prod::bit_string_type_name_no_bool_1: // bit_string_type_name_no_bool -> WORD
        return Eval::bit_string_type_name_no_bool_1(evaluator, node, step);
    case Prod::bit_string_type_name_no_bool_2: // bit_string_type_name_no_bool -> DWORD
        return Eval::bit_string_type_name_no_bool_2(evaluator, node, step);
    case Prod::bit_string_type_name_no_bool_3: // bit_string_type_name_no_bool -> LWORD
        return Eval::bit_string_type_name_no_bool_3(evaluator, node, step);
    case Prod::boolean_literal_0: // boolean_literal -> BOOL '#' <decimal integer>
        return Eval::boolean_literal_0(evaluator, node, step);
    case Prod::boolean_literal_1: // boolean_literal -> TRUE
        return Eval::boolean_literal_1(evaluator, node, step);
    case Prod::boolean_literal_2: // boolean_literal -> BOOL '#' TRUE
        return Eval::boolean_literal_2(evaluator, node, step);
    case Prod::boolean_literal_3: // boolean_literal -> FALSE
        return Eval::boolean_literal_3(evaluator, node, step);
    case Prod::boolean_literal_4: // boolean_literal -> BOOL '#' FALSE
        return Eval::boolean_literal_4(evaluator, node, step);
    case Prod::character_string_1: // character_string -> STRING '#' single_byte_character_string
        return Eval::character_string_1(evaluator, node, step);
    case Prod::character_string_2: // character_string -> CHAR '#' single_byte_character_string
        return Eval::character_string_2(evaluator, node, step);
    case Prod::character_string_3: // character_string -> WSTRING '#' single_byte_character_string
        return Eval::character_string_3(evaluator, node, step);
    case Prod::character_string_4: // character_string -> WCHAR '#' single_byte_character_string
        return Eval::character_string_4(evaluator, node, step);
    case Prod::character_string_6: // character_string -> WSTRING '#' double_byte_character_string
        return Eval::character_string_6(evaluator, node, step);
    case Prod::character_string_7: // character_string -> WCHAR '#' double_byte_character_string
        return Eval::character_string_7(evaluator, node, step);
    case Prod::constant_5: // constant -> NULL
        return Eval::constant_5(evaluator, node, step);
    case Prod::double_byte_character_string_0: // double_byte_character_string -> <2-byte string>
        return Eval::double_byte_character_string_0(evaluator, node, step);
    case Prod::expression_1: // expression -> expression OR expression_xor
        return Eval::expression_1(evaluator, node, step);
    case Prod::expression_add_1: // expression_add -> expression_add '+' expression_mul
        return Eval::expression_add_1(evaluator, node, step);
    case Prod::expression_add_2: // expression_add -> expression_add '-' expression_mul
        return Eval::expression_add_2(evaluator, node, step);
    case Prod::expression_and_1: // expression_and -> expression_and AND expression_cmp
        return Eval::expression_and_1(evaluator, node, step);
    case Prod::expression_and_2: // expression_and -> expression_and '&' expression_cmp
        return Eval::expression_and_2(evaluator, node, step);
    case Prod::expression_cmp_1: // expression_cmp -> expression_cmp '=' expression_equ
        return Eval::expression_cmp_1(evaluator, node, step);
    case Prod::expression_cmp_2: // expression_cmp -> expression_cmp '<>' expression_equ
        return Eval::expression_cmp_2(evaluator, node, step);
    case Prod::expression_equ_1: // expression_equ -> expression_equ '<' expression_add
        return Eval::expression_equ_1(evaluator, node, step);
    case Prod::expression_equ_2: // expression_equ -> expression_equ '>' expression_add
        return Eval::expression_equ_2(evaluator, node, step);
    case Prod::expression_equ_3: // expression_equ -> expression_equ '<=' expression_add
        return Eval::expression_equ_3(evaluator, node, step);
    case Prod::expression_equ_4: // expression_equ -> expression_equ '>=' expression_add
        return Eval::expression_equ_4(evaluator, node, step);
    case Prod::expression_mul_1: // expression_mul -> expression_mul '*' expression_power
        return Eval::expression_mul_1(evaluator, node, step);
    case Prod::expression_mul_2: // expression_mul -> expression_mul '/' expression_power
        return Eval::expression_mul_2(evaluator, node, step);
    case Prod::expression_mul_3: // expression_mul -> expression_mul MOD expression_power
        return Eval::expression_mul_3(evaluator, node, step);
    case Prod::expression_power_1: // expression_power -> expression_power '**' expression_unary
        return Eval::expression_power_1(evaluator, node, step);
    case Prod::expression_primary_0: // expression_primary -> '(' expression ')'
        return Eval::expression_primary_0(evaluator, node, step);
    case Prod::expression_secondary_1: // expression_secondary -> constant
        return Eval::expression_secondary_1(evaluator, node, step);
    case Prod::expression_unary_1: // expression_unary -> '-' expression_secondary
        return Eval::expression_unary_1(evaluator, node, step);
    case Prod::expression_unary_2: // expression_unary -> '+' expression_secondary
        return Eval::expression_unary_2(evaluator, node, step);
    case Prod::expression_unary_3: // expression_unary -> NOT expression_secondary
        return Eval::expression_unary_3(evaluator, node, step);
    case Prod::expression_xor_1: // expression_xor -> expression_xor XOR expression_and
        return Eval::expression_xor_1(evaluator, node, step);
    case Prod::hex_integer_0: // hex_integer -> <hexadecimal integer>
        return Eval::hex_integer_0(evaluator, node, step);
    case Prod::integer_0: // integer -> <decimal integer>
        return Eval::integer_0(evaluator, node, step);
    case Prod::integer_literal_1: // integer_literal -> integer_type_name '#' integer_literal_3
        return Eval::integer_literal_1(evaluator, node, step);
    case Prod::integer_type_name_0: // integer_type_name -> signed_integer_type_name
        return Eval::integer_type_name_0(evaluator, node, step);
    case Prod::integer_type_name_1: // integer_type_name -> unsigned_integer_type_name
        return Eval::integer_type_name_1(evaluator, node, step);
    case Prod::octal_integer_0: // octal_integer -> <octal integer>
        return Eval::octal_integer_0(evaluator, node, step);
    case Prod::real_literal_1: // real_literal -> real_type_name '#' real_literal_2
        return Eval::real_literal_1(evaluator, node, step);
    case Prod::real_literal_2_0: // real_literal_2 -> <real number>
        return Eval::real_literal_2_0(evaluator, node, step);
    case Prod::real_type_name_0: // real_type_name -> REAL
        return Eval::real_type_name_0(evaluator, node, step);
    case Prod::real_type_name_1: // real_type_name -> LREAL
        return Eval::real_type_name_1(evaluator, node, step);
    case Prod::signed_integer_1: // signed_integer -> '+' integer
        return Eval::signed_integer_1(evaluator, node, step);
    case Prod::signed_integer_2: // signed_integer -> '-' integer
        return Eval::signed_integer_2(evaluator, node, step);
    case Prod::signed_integer_type_name_0: // signed_integer_type_name -> SINT
        return Eval::signed_integer_type_name_0(evaluator, node, step);
    case Prod::signed_integer_type_name_1: // signed_integer_type_name -> INT
        return Eval::signed_integer_type_name_1(evaluator, node, step);
    case Prod::signed_integer_type_name_2: // signed_integer_type_name -> DINT
        return Eval::signed_integer_type_name_2(evaluator, node, step);
    case Prod::signed_integer_type_name_3: // signed_integer_type_name -> LINT
        return Eval::signed_integer_type_name_3(evaluator, node, step);
    case Prod::single_byte_character_string_0: // single_byte_character_string -> <1-byte string>
        return Eval::single_byte_character_string_0(evaluator, node, step);
    case Prod::time_literal_0: // time_literal -> <time>
        return Eval::time_literal_0(evaluator, node, step);
    case Prod::time_literal_1: // time_literal -> <time of day>
        return Eval::time_literal_1(evaluator, node, step);
    case Prod::time_literal_2: // time_literal -> <date>
        return Eval::time_literal_2(evaluator, node, step);
    case Prod::time_literal_3: // time_literal -> <date and time>
        return Eval::time_literal_3(evaluator, node, step);
    case Prod::unsigned_integer_type_name_0: // unsigned_integer_type_name -> USINT
        return Eval::unsigned_integer_type_name_0(evaluator, node, step);
    case Prod::unsigned_integer_type_name_1: // unsigned_integer_type_name -> UINT
        return Eval::unsigned_integer_type_name_1(evaluator, node, step);
    case Prod::unsigned_integer_type_name_2: // unsigned_integer_type_name -> UDINT
        return Eval::unsigned_integer_type_name_2(evaluator, node, step);
    case Prod::unsigned_integer_type_name_3: // unsigned_integer_type_name -> ULINT
        return Eval::unsigned_integer_type_name_3(evaluator, node, step);

    // Type names, variable declarations, names and assignment
    case Prod::access_spec_0: // access_spec -> PUBLIC
        return Eval::access_spec_0(evaluator, node, step);
    case Prod::access_spec_1: // access_spec -> PROTECTED
        return Eval::access_spec_1(evaluator, node, step);
    case Prod::access_spec_2: // access_spec -> PRIVATE
        return Eval::access_spec_2(evaluator, node, step);
    case Prod::access_spec_3: // access_spec -> INTERNAL
        return Eval::access_spec_3(evaluator, node, step);
    case Prod::access_spec_opt_0: // access_spec_opt -> (empty)
        return Eval::access_spec_opt_0(evaluator, node, step);
    case Prod::access_spec_opt_1: // access_spec_opt -> access_spec
        return Eval::access_spec_opt_1(evaluator, node, step);
    case Prod::assignment_statement_0: // assignment_statement -> expression_lhs ':=' expression
        return Eval::assignment_statement_0(evaluator, node, step);
    case Prod::date_type_name_0: // date_type_name -> DATE
        return Eval::date_type_name_0(evaluator, node, step);
    case Prod::date_type_name_1: // date_type_name -> LDATE
        return Eval::date_type_name_1(evaluator, node, step);
    case Prod::date_type_name_2: // date_type_name -> TIME_OF_DAY
        return Eval::date_type_name_2(evaluator, node, step);
    case Prod::date_type_name_3: // date_type_name -> TOD
        return Eval::date_type_name_3(evaluator, node, step);
    case Prod::date_type_name_4: // date_type_name -> LTIME_OF_DAY
        return Eval::date_type_name_4(evaluator, node, step);
    case Prod::date_type_name_5: // date_type_name -> LTOD
        return Eval::date_type_name_5(evaluator, node, step);
    case Prod::date_type_name_6: // date_type_name -> DATE_AND_TIME
        return Eval::date_type_name_6(evaluator, node, step);
    case Prod::date_type_name_7: // date_type_name -> DT
        return Eval::date_type_name_7(evaluator, node, step);
    case Prod::date_type_name_8: // date_type_name -> LDT
        return Eval::date_type_name_8(evaluator, node, step);
    case Prod::date_type_name_9: // date_type_name -> LDATE_AND_TIME
        return Eval::date_type_name_9(evaluator, node, step);
    case Prod::direct_variable_0: // direct_variable -> '%' location_prefix size_prefix direct_variable_2
        return Eval::direct_variable_0(evaluator, node, step);
    case Prod::direct_variable_2_0: // direct_variable_2 -> integer
        return Eval::direct_variable_2_0(evaluator, node, step);
    case Prod::direct_variable_2_1: // direct_variable_2 -> direct_variable_2 '.' integer
        return Eval::direct_variable_2_1(evaluator, node, step);
    case Prod::elementary_type_name_0: // elementary_type_name -> numeric_type_name
        return Eval::elementary_type_name_0(evaluator, node, step);
    case Prod::elementary_type_name_1: // elementary_type_name -> date_type_name
        return Eval::elementary_type_name_1(evaluator, node, step);
    case Prod::elementary_type_name_2: // elementary_type_name -> bit_string_type_name
        return Eval::elementary_type_name_2(evaluator, node, step);
    case Prod::elementary_type_name_3: // elementary_type_name -> CHAR
        return Eval::elementary_type_name_3(evaluator, node, step);
    case Prod::elementary_type_name_4: // elementary_type_name -> WCHAR
        return Eval::elementary_type_name_4(evaluator, node, step);
    case Prod::elementary_type_name_5: // elementary_type_name -> STRING
        return Eval::elementary_type_name_5(evaluator, node, step);
    case Prod::elementary_type_name_6: // elementary_type_name -> WSTRING
        return Eval::elementary_type_name_6(evaluator, node, step);
    case Prod::elementary_type_name_7: // elementary_type_name -> TIME
        return Eval::elementary_type_name_7(evaluator, node, step);
    case Prod::elementary_type_name_8: // elementary_type_name -> LTIME
        return Eval::elementary_type_name_8(evaluator, node, step);
    case Prod::expression_primary_ident_0: // expression_primary_ident -> identifier
        return Eval::expression_primary_ident_0(evaluator, node, step);
    case Prod::identifier_0: // identifier -> <identifier>
        return Eval::identifier_0(evaluator, node, step);
    case Prod::identifier_1: // identifier -> I
        return Eval::identifier_1(evaluator, node, step);
    case Prod::identifier_2: // identifier -> Q
        return Eval::identifier_2(evaluator, node, step);
    case Prod::identifier_3: // identifier -> X
        return Eval::identifier_3(evaluator, node, step);
    case Prod::identifier_4: // identifier -> B
        return Eval::identifier_4(evaluator, node, step);
    case Prod::identifier_5: // identifier -> W
        return Eval::identifier_5(evaluator, node, step);
    case Prod::identifier_6: // identifier -> L
        return Eval::identifier_6(evaluator, node, step);
    case Prod::identifier_7: // identifier -> XOR
        return Eval::identifier_7(evaluator, node, step);
    case Prod::identifier_8: // identifier -> OR
        return Eval::identifier_8(evaluator, node, step);
    case Prod::identifier_9: // identifier -> AND
        return Eval::identifier_9(evaluator, node, step);
    case Prod::identifier_10: // identifier -> MOD
        return Eval::identifier_10(evaluator, node, step);
    case Prod::incompl_location_0: // incompl_location -> AT '%' I '*'
        return Eval::incompl_location_0(evaluator, node, step);
    case Prod::incompl_location_1: // incompl_location -> AT '%' Q '*'
        return Eval::incompl_location_1(evaluator, node, step);
    case Prod::incompl_location_2: // incompl_location -> AT '%' M '*'
        return Eval::incompl_location_2(evaluator, node, step);
    case Prod::location_prefix_0: // location_prefix -> I
        return Eval::location_prefix_0(evaluator, node, step);
    case Prod::location_prefix_1: // location_prefix -> Q
        return Eval::location_prefix_1(evaluator, node, step);
    case Prod::location_prefix_2: // location_prefix -> M
        return Eval::location_prefix_2(evaluator, node, step);
    case Prod::non_generic_type_name_0: // non_generic_type_name -> elementary_type_name
        return Eval::non_generic_type_name_0(evaluator, node, step);
    case Prod::non_generic_type_name_1: // non_generic_type_name -> identifier
        return Eval::non_generic_type_name_1(evaluator, node, step);
    case Prod::numeric_type_name_0: // numeric_type_name -> integer_type_name
        return Eval::numeric_type_name_0(evaluator, node, step);
    case Prod::numeric_type_name_1: // numeric_type_name -> real_type_name
        return Eval::numeric_type_name_1(evaluator, node, step);
    case Prod::rd_block_var_0: // rd_block_var -> VAR rd_block_var_mod access_spec_opt rd_decl_any_list END_VAR
        return Eval::rd_block_var_0(evaluator, node, step);
    case Prod::rd_block_var_external_0: // rd_block_var_external -> VAR_EXTERNAL rd_block_var_external_2 END_VAR
        return Eval::rd_block_var_external_0(evaluator, node, step);
    case Prod::rd_block_var_external_1: // rd_block_var_external -> VAR_EXTERNAL CONSTANT rd_block_var_external_2 END_VAR
        return Eval::rd_block_var_external_1(evaluator, node, step);
    case Prod::rd_block_var_external_2_0: // rd_block_var_external_2 -> (empty)
        return Eval::rd_block_var_external_2_0(evaluator, node, step);
    case Prod::rd_block_var_external_2_1: // rd_block_var_external_2 -> rd_block_var_external_2 rd_block_var_external_3 ';'
        return Eval::rd_block_var_external_2_1(evaluator, node, step);
    case Prod::rd_block_var_external_3_0: // rd_block_var_external_3 -> identifier ':' spec
        return Eval::rd_block_var_external_3_0(evaluator, node, step);
    case Prod::rd_block_var_in_out_0: // rd_block_var_in_out -> VAR_IN_OUT rd_decl_any_list END_VAR
        return Eval::rd_block_var_in_out_0(evaluator, node, step);
    case Prod::rd_block_var_input_0: // rd_block_var_input -> VAR_INPUT rd_decl_any_list END_VAR
        return Eval::rd_block_var_input_0(evaluator, node, step);
    case Prod::rd_block_var_mod_0: // rd_block_var_mod -> (empty)
        return Eval::rd_block_var_mod_0(evaluator, node, step);
    case Prod::rd_block_var_mod_1: // rd_block_var_mod -> CONSTANT
        return Eval::rd_block_var_mod_1(evaluator, node, step);
    case Prod::rd_block_var_mod_2: // rd_block_var_mod -> RETAIN
        return Eval::rd_block_var_mod_2(evaluator, node, step);
    case Prod::rd_block_var_mod_3: // rd_block_var_mod -> NON_RETAIN
        return Eval::rd_block_var_mod_3(evaluator, node, step);
    case Prod::rd_block_var_output_0: // rd_block_var_output -> VAR_OUTPUT rd_decl_any_list END_VAR
        return Eval::rd_block_var_output_0(evaluator, node, step);
    case Prod::rd_block_var_temp_0: // rd_block_var_temp -> VAR_TEMP rd_decl_any_list END_VAR
        return Eval::rd_block_var_temp_0(evaluator, node, step);
    case Prod::rd_decl_any_0: // rd_decl_any -> AT direct_variable ':' spec_init
        return Eval::rd_decl_any_0(evaluator, node, step);
    case Prod::rd_decl_any_1: // rd_decl_any -> identifier AT direct_variable ':' spec_init
        return Eval::rd_decl_any_1(evaluator, node, step);
    case Prod::rd_decl_any_2: // rd_decl_any -> identifier incompl_location ':' spec_init
        return Eval::rd_decl_any_2(evaluator, node, step);
    case Prod::rd_decl_any_3: // rd_decl_any -> rd_identifier_list ':' spec_init
        return Eval::rd_decl_any_3(evaluator, node, step);
    case Prod::rd_decl_any_4: // rd_decl_any -> rd_identifier_list ':' BOOL R_EDGE
        return Eval::rd_decl_any_4(evaluator, node, step);
    case Prod::rd_decl_any_5: // rd_decl_any -> rd_identifier_list ':' BOOL F_EDGE
        return Eval::rd_decl_any_5(evaluator, node, step);
    case Prod::rd_decl_any_list_0: // rd_decl_any_list -> (empty)
        return Eval::rd_decl_any_list_0(evaluator, node, step);
    case Prod::rd_decl_any_list_1: // rd_decl_any_list -> rd_decl_any_list rd_decl_any ';'
        return Eval::rd_decl_any_list_1(evaluator, node, step);
    case Prod::rd_identifier_list_0: // rd_identifier_list -> rd_identifier_list_2
        return Eval::rd_identifier_list_0(evaluator, node, step);
    case Prod::rd_identifier_list_2_0: // rd_identifier_list_2 -> identifier
        return Eval::rd_identifier_list_2_0(evaluator, node, step);
    case Prod::rd_identifier_list_2_1: // rd_identifier_list_2 -> rd_identifier_list_2 ',' identifier
        return Eval::rd_identifier_list_2_1(evaluator, node, step);
    case Prod::size_prefix_0: // size_prefix -> (empty)
        return Eval::size_prefix_0(evaluator, node, step);
    case Prod::size_prefix_1: // size_prefix -> X
        return Eval::size_prefix_1(evaluator, node, step);
    case Prod::size_prefix_2: // size_prefix -> B
        return Eval::size_prefix_2(evaluator, node, step);
    case Prod::size_prefix_3: // size_prefix -> W
        return Eval::size_prefix_3(evaluator, node, step);
    case Prod::size_prefix_4: // size_prefix -> D
        return Eval::size_prefix_4(evaluator, node, step);
    case Prod::size_prefix_5: // size_prefix -> L
        return Eval::size_prefix_5(evaluator, node, step);
    case Prod::spec_0: // spec -> elementary_type_name
        return Eval::spec_0(evaluator, node, step);
    case Prod::spec_1: // spec -> identifier
        return Eval::spec_1(evaluator, node, step);
    case Prod::spec_2: // spec -> STRING '[' integer ']'
        return Eval::spec_2(evaluator, node, step);
    case Prod::spec_3: // spec -> WSTRING '[' integer ']'
        return Eval::spec_3(evaluator, node, step);
    case Prod::spec_init_0: // spec_init -> spec
        return Eval::spec_init_0(evaluator, node, step);

    // User functions and function calls
    case Prod::expression_primary_1: // expression_primary -> function_call
        return Eval::expression_primary_1(evaluator, node, step);
    case Prod::function_call_0: // function_call -> function_name '(' function_call_2 ')'
        return Eval::function_call_0(evaluator, node, step);
    case Prod::function_call_2_0: // function_call_2 -> (empty)
        return Eval::function_call_2_0(evaluator, node, step);
    case Prod::function_call_2_1: // function_call_2 -> function_call_3
        return Eval::function_call_2_1(evaluator, node, step);
    case Prod::function_call_3_0: // function_call_3 -> param_assignment
        return Eval::function_call_3_0(evaluator, node, step);
    case Prod::function_call_3_1: // function_call_3 -> function_call_3 ',' param_assignment
        return Eval::function_call_3_1(evaluator, node, step);
    case Prod::function_declaration_0: // function_declaration -> FUNCTION identifier typereturn function_declaration_2 function_body END_FUNCTION
        return Eval::function_declaration_0(evaluator, node, step);
    case Prod::function_declaration_2_0: // function_declaration_2 -> (empty)
        return Eval::function_declaration_2_0(evaluator, node, step);
    case Prod::function_declaration_2_1: // function_declaration_2 -> function_declaration_2 function_declaration_3
        return Eval::function_declaration_2_1(evaluator, node, step);
    case Prod::function_declaration_3_0: // function_declaration_3 -> rd_block_var_input
        return Eval::function_declaration_3_0(evaluator, node, step);
    case Prod::function_declaration_3_1: // function_declaration_3 -> rd_block_var_output
        return Eval::function_declaration_3_1(evaluator, node, step);
    case Prod::function_declaration_3_2: // function_declaration_3 -> rd_block_var_in_out
        return Eval::function_declaration_3_2(evaluator, node, step);
    case Prod::function_declaration_3_3: // function_declaration_3 -> rd_block_var
        return Eval::function_declaration_3_3(evaluator, node, step);
    case Prod::function_declaration_3_4: // function_declaration_3 -> rd_block_var_external
        return Eval::function_declaration_3_4(evaluator, node, step);
    case Prod::function_declaration_3_5: // function_declaration_3 -> rd_block_var_temp
        return Eval::function_declaration_3_5(evaluator, node, step);
    case Prod::function_name_0: // function_name -> identifier
        return Eval::function_name_0(evaluator, node, step);
    case Prod::param_assignment_0: // param_assignment -> expression
        return Eval::param_assignment_0(evaluator, node, step);
    case Prod::param_assignment_1: // param_assignment -> identifier ':=' expression
        return Eval::param_assignment_1(evaluator, node, step);
    case Prod::param_assignment_2: // param_assignment -> identifier '=>' expression_lhs
        return Eval::param_assignment_2(evaluator, node, step);
    case Prod::subprogram_control_statement_0: // subprogram_control_statement -> RETURN
        return Eval::subprogram_control_statement_0(evaluator, node, step);
    case Prod::subprogram_control_statement_1: // subprogram_control_statement -> function_call
        return Eval::subprogram_control_statement_1(evaluator, node, step);
    case Prod::subprogram_control_statement_2: // subprogram_control_statement -> method_call
        return Eval::subprogram_control_statement_2(evaluator, node, step);
    case Prod::typereturn_0: // typereturn -> (empty)
        return Eval::typereturn_0(evaluator, node, step);
    case Prod::typereturn_1: // typereturn -> ':' non_generic_type_name
        return Eval::typereturn_1(evaluator, node, step);

    // Control statements
    case Prod::case_element_0: // case_element -> case_list ':' statement_list
        return Eval::case_element_0(evaluator, node, step);
    case Prod::case_list_0: // case_list -> case_list_element
        return Eval::case_list_0(evaluator, node, step);
    case Prod::case_list_1: // case_list -> case_list ',' case_list_element
        return Eval::case_list_1(evaluator, node, step);
    case Prod::case_list_element_0: // case_list_element -> subrange_integer
        return Eval::case_list_element_0(evaluator, node, step);
    case Prod::case_list_element_1: // case_list_element -> signed_integer
        return Eval::case_list_element_1(evaluator, node, step);
    case Prod::case_statement_0: // case_statement -> CASE expression OF case_statement_2 END_CASE
        return Eval::case_statement_0(evaluator, node, step);
    case Prod::case_statement_1: // case_statement -> CASE expression OF case_statement_2 ELSE statement_list END_CASE
        return Eval::case_statement_1(evaluator, node, step);
    case Prod::case_statement_2_0: // case_statement_2 -> case_element
        return Eval::case_statement_2_0(evaluator, node, step);
    case Prod::case_statement_2_1: // case_statement_2 -> case_statement_2 case_element
        return Eval::case_statement_2_1(evaluator, node, step);
    case Prod::continue_statement_0: // continue_statement -> CONTINUE
        return Eval::continue_statement_0(evaluator, node, step);
    case Prod::control_variable_0: // control_variable -> identifier
        return Eval::control_variable_0(evaluator, node, step);
    case Prod::exit_statement_0: // exit_statement -> EXIT
        return Eval::exit_statement_0(evaluator, node, step);
    case Prod::for_list_0: // for_list -> expression TO expression
        return Eval::for_list_0(evaluator, node, step);
    case Prod::for_list_1: // for_list -> expression TO expression BY expression
        return Eval::for_list_1(evaluator, node, step);
    case Prod::for_statement_0: // for_statement -> FOR control_variable ':=' for_list DO statement_list END_FOR
        return Eval::for_statement_0(evaluator, node, step);
    case Prod::if_statement_0: // if_statement -> IF expression THEN statement_list if_statement_2 END_IF
        return Eval::if_statement_0(evaluator, node, step);
    case Prod::if_statement_1: // if_statement -> IF expression THEN statement_list if_statement_2 ELSE statement_list END_IF
        return Eval::if_statement_1(evaluator, node, step);
    case Prod::if_statement_2_0: // if_statement_2 -> (empty)
        return Eval::if_statement_2_0(evaluator, node, step);
    case Prod::if_statement_2_1: // if_statement_2 -> if_statement_3
        return Eval::if_statement_2_1(evaluator, node, step);
    case Prod::if_statement_3_0: // if_statement_3 -> if_statement_2 ELSIF expression THEN statement_list
        return Eval::if_statement_3_0(evaluator, node, step);
    case Prod::iteration_statement_0: // iteration_statement -> for_statement
        return Eval::iteration_statement_0(evaluator, node, step);
    case Prod::iteration_statement_1: // iteration_statement -> while_statement
        return Eval::iteration_statement_1(evaluator, node, step);
    case Prod::iteration_statement_2: // iteration_statement -> repeat_statement
        return Eval::iteration_statement_2(evaluator, node, step);
    case Prod::iteration_statement_3: // iteration_statement -> exit_statement
        return Eval::iteration_statement_3(evaluator, node, step);
    case Prod::iteration_statement_4: // iteration_statement -> continue_statement
        return Eval::iteration_statement_4(evaluator, node, step);
    case Prod::repeat_statement_0: // repeat_statement -> REPEAT statement_list UNTIL expression END_REPEAT
        return Eval::repeat_statement_0(evaluator, node, step);
    case Prod::selection_statement_0: // selection_statement -> if_statement
        return Eval::selection_statement_0(evaluator, node, step);
    case Prod::selection_statement_1: // selection_statement -> case_statement
        return Eval::selection_statement_1(evaluator, node, step);
    case Prod::subrange_integer_0: // subrange_integer -> signed_integer '..' signed_integer
        return Eval::subrange_integer_0(evaluator, node, step);
    case Prod::while_statement_0: // while_statement -> WHILE expression DO statement_list END_WHILE
        return Eval::while_statement_0(evaluator, node, step);

    // Constant expressions and scalar initial values
    case Prod::const_expression_1: // const_expression -> const_expression OR const_expression_xor
        return Eval::const_expression_1(evaluator, node, step);
    case Prod::const_expression_add_1: // const_expression_add -> const_expression_add '+' const_expression_mul
        return Eval::const_expression_add_1(evaluator, node, step);
    case Prod::const_expression_add_2: // const_expression_add -> const_expression_add '-' const_expression_mul
        return Eval::const_expression_add_2(evaluator, node, step);
    case Prod::const_expression_and_1: // const_expression_and -> const_expression_and AND const_expression_cmp
        return Eval::const_expression_and_1(evaluator, node, step);
    case Prod::const_expression_and_2: // const_expression_and -> const_expression_and '&' const_expression_cmp
        return Eval::const_expression_and_2(evaluator, node, step);
    case Prod::const_expression_cmp_0: // const_expression_cmp -> const_expression_equ
        return Eval::const_expression_cmp_0(evaluator, node, step);
    case Prod::const_expression_cmp_1: // const_expression_cmp -> const_expression_cmp '=' const_expression_equ
        return Eval::const_expression_cmp_1(evaluator, node, step);
    case Prod::const_expression_cmp_2: // const_expression_cmp -> const_expression_cmp '<>' const_expression_equ
        return Eval::const_expression_cmp_2(evaluator, node, step);
    case Prod::const_expression_equ_0: // const_expression_equ -> const_expression_add
        return Eval::const_expression_equ_0(evaluator, node, step);
    case Prod::const_expression_equ_1: // const_expression_equ -> const_expression_equ '<' const_expression_add
        return Eval::const_expression_equ_1(evaluator, node, step);
    case Prod::const_expression_equ_2: // const_expression_equ -> const_expression_equ '>' const_expression_add
        return Eval::const_expression_equ_2(evaluator, node, step);
    case Prod::const_expression_equ_3: // const_expression_equ -> const_expression_equ '<=' const_expression_add
        return Eval::const_expression_equ_3(evaluator, node, step);
    case Prod::const_expression_equ_4: // const_expression_equ -> const_expression_equ '>=' const_expression_add
        return Eval::const_expression_equ_4(evaluator, node, step);
    case Prod::const_expression_mul_1: // const_expression_mul -> const_expression_mul '*' const_expression_power
        return Eval::const_expression_mul_1(evaluator, node, step);
    case Prod::const_expression_mul_2: // const_expression_mul -> const_expression_mul '/' const_expression_power
        return Eval::const_expression_mul_2(evaluator, node, step);
    case Prod::const_expression_mul_3: // const_expression_mul -> const_expression_mul MOD const_expression_power
        return Eval::const_expression_mul_3(evaluator, node, step);
    case Prod::const_expression_power_1: // const_expression_power -> const_expression_power '**' const_expression_unary
        return Eval::const_expression_power_1(evaluator, node, step);
    case Prod::const_expression_primary_0: // const_expression_primary -> '(' const_expression ')'
        return Eval::const_expression_primary_0(evaluator, node, step);
    case Prod::const_expression_primary_2: // const_expression_primary -> const_expression_primary_enumvalue
        return Eval::const_expression_primary_2(evaluator, node, step);
    case Prod::const_expression_primary_3: // const_expression_primary -> REF '(' const_expression ')'
        return Eval::const_expression_primary_3(evaluator, node, step);
    case Prod::const_expression_primary_enumvalue_0: // const_expression_primary_enumvalue -> identifier '#' identifier
        return Eval::const_expression_primary_enumvalue_0(evaluator, node, step);
    case Prod::const_expression_primary_ident_0: // const_expression_primary_ident -> identifier
        return Eval::const_expression_primary_ident_0(evaluator, node, step);
    case Prod::const_expression_secondary_1: // const_expression_secondary -> constant
        return Eval::const_expression_secondary_1(evaluator, node, step);
    case Prod::const_expression_unary_1: // const_expression_unary -> '-' const_expression_secondary
        return Eval::const_expression_unary_1(evaluator, node, step);
    case Prod::const_expression_unary_2: // const_expression_unary -> '+' const_expression_secondary
        return Eval::const_expression_unary_2(evaluator, node, step);
    case Prod::const_expression_unary_3: // const_expression_unary -> NOT const_expression_secondary
        return Eval::const_expression_unary_3(evaluator, node, step);
    case Prod::const_expression_xor_1: // const_expression_xor -> const_expression_xor XOR const_expression_and
        return Eval::const_expression_xor_1(evaluator, node, step);
    case Prod::init_0: // init -> const_expression
        return Eval::init_0(evaluator, node, step);
    case Prod::spec_init_1: // spec_init -> spec ':=' init
        return Eval::spec_init_1(evaluator, node, step);
    case Prod::subrange_0: // subrange -> const_expression '..' const_expression
        return Eval::subrange_0(evaluator, node, step);

    // Derived types, aggregate initialisers and element access
    case Prod::data_type_declaration_0: // data_type_declaration -> TYPE data_type_declaration_2 END_TYPE
        return Eval::data_type_declaration_0(evaluator, node, step);
    case Prod::data_type_declaration_2_0: // data_type_declaration_2 -> type_declaration ';'
        return Eval::data_type_declaration_2_0(evaluator, node, step);
    case Prod::data_type_declaration_2_1: // data_type_declaration_2 -> data_type_declaration_2 type_declaration ';'
        return Eval::data_type_declaration_2_1(evaluator, node, step);
    case Prod::expression_array_0: // expression_array -> expression_lhs '[' subscript_list ']'
        return Eval::expression_array_0(evaluator, node, step);
    case Prod::expression_member_0: // expression_member -> expression_lhs '.' identifier
        return Eval::expression_member_0(evaluator, node, step);
    case Prod::expression_primary_3: // expression_primary -> expression_primary_enumvalue
        return Eval::expression_primary_3(evaluator, node, step);
    case Prod::expression_primary_4: // expression_primary -> REF '(' expression ')'
        return Eval::expression_primary_4(evaluator, node, step);
    case Prod::expression_primary_5: // expression_primary -> expression_primary_deref
        return Eval::expression_primary_5(evaluator, node, step);
    case Prod::expression_primary_deref_0: // expression_primary_deref -> expression_primary '^'
        return Eval::expression_primary_deref_0(evaluator, node, step);
    case Prod::expression_primary_enumvalue_0: // expression_primary_enumvalue -> identifier '#' identifier
        return Eval::expression_primary_enumvalue_0(evaluator, node, step);
    case Prod::init_1: // init -> init_array
        return Eval::init_1(evaluator, node, step);
    case Prod::init_2: // init -> init_struct
        return Eval::init_2(evaluator, node, step);
    case Prod::init_array_0: // init_array -> '[' init_array_2 ']'
        return Eval::init_array_0(evaluator, node, step);
    case Prod::init_array_2_0: // init_array_2 -> init_array_elements
        return Eval::init_array_2_0(evaluator, node, step);
    case Prod::init_array_2_1: // init_array_2 -> init_array_2 ',' init_array_elements
        return Eval::init_array_2_1(evaluator, node, step);
    case Prod::init_array_elements_0: // init_array_elements -> init
        return Eval::init_array_elements_0(evaluator, node, step);
    case Prod::init_array_elements_1: // init_array_elements -> integer '(' ')'
        return Eval::init_array_elements_1(evaluator, node, step);
    case Prod::init_array_elements_2: // init_array_elements -> integer '(' init ')'
        return Eval::init_array_elements_2(evaluator, node, step);
    case Prod::init_struct_0: // init_struct -> '(' init_struct_2 ')'
        return Eval::init_struct_0(evaluator, node, step);
    case Prod::init_struct_2_0: // init_struct_2 -> init_struct_element
        return Eval::init_struct_2_0(evaluator, node, step);
    case Prod::init_struct_2_1: // init_struct_2 -> init_struct_2 ',' init_struct_element
        return Eval::init_struct_2_1(evaluator, node, step);
    case Prod::init_struct_element_0: // init_struct_element -> identifier ':=' init
        return Eval::init_struct_element_0(evaluator, node, step);
    case Prod::spec_4: // spec -> spec_subrange
        return Eval::spec_4(evaluator, node, step);
    case Prod::spec_5: // spec -> spec_enum
        return Eval::spec_5(evaluator, node, step);
    case Prod::spec_6: // spec -> spec_array
        return Eval::spec_6(evaluator, node, step);
    case Prod::spec_7: // spec -> spec_struct
        return Eval::spec_7(evaluator, node, step);
    case Prod::spec_8: // spec -> spec_pointer
        return Eval::spec_8(evaluator, node, step);
    case Prod::spec_array_0: // spec_array -> ARRAY '[' spec_array_2 ']' OF non_generic_type_name
        return Eval::spec_array_0(evaluator, node, step);
    case Prod::spec_array_2_0: // spec_array_2 -> subrange
        return Eval::spec_array_2_0(evaluator, node, step);
    case Prod::spec_array_2_1: // spec_array_2 -> spec_array_2 ',' subrange
        return Eval::spec_array_2_1(evaluator, node, step);
    case Prod::spec_enum_0: // spec_enum -> spec_enum_4 '(' spec_enum_2 ')'
        return Eval::spec_enum_0(evaluator, node, step);
    case Prod::spec_enum_2_0: // spec_enum_2 -> spec_enum_3
        return Eval::spec_enum_2_0(evaluator, node, step);
    case Prod::spec_enum_2_1: // spec_enum_2 -> spec_enum_2 ',' spec_enum_3
        return Eval::spec_enum_2_1(evaluator, node, step);
    case Prod::spec_enum_3_0: // spec_enum_3 -> identifier
        return Eval::spec_enum_3_0(evaluator, node, step);
    case Prod::spec_enum_3_1: // spec_enum_3 -> identifier ':=' const_expression
        return Eval::spec_enum_3_1(evaluator, node, step);
    case Prod::spec_enum_4_0: // spec_enum_4 -> (empty)
        return Eval::spec_enum_4_0(evaluator, node, step);
    case Prod::spec_pointer_0: // spec_pointer -> REF_TO non_generic_type_name
        return Eval::spec_pointer_0(evaluator, node, step);
    case Prod::spec_struct_0: // spec_struct -> STRUCT spec_struct_2 END_STRUCT
        return Eval::spec_struct_0(evaluator, node, step);
    case Prod::spec_struct_2_0: // spec_struct_2 -> structure_element_declaration ';'
        return Eval::spec_struct_2_0(evaluator, node, step);
    case Prod::spec_struct_2_1: // spec_struct_2 -> spec_struct_2 structure_element_declaration ';'
        return Eval::spec_struct_2_1(evaluator, node, step);
    case Prod::spec_subrange_0: // spec_subrange -> integer_type_name '(' subrange ')'
        return Eval::spec_subrange_0(evaluator, node, step);
    case Prod::structure_element_declaration_0: // structure_element_declaration -> identifier ':' spec_init
        return Eval::structure_element_declaration_0(evaluator, node, step);
    case Prod::subscript_0: // subscript -> expression
        return Eval::subscript_0(evaluator, node, step);
    case Prod::subscript_list_0: // subscript_list -> subscript_list_2
        return Eval::subscript_list_0(evaluator, node, step);
    case Prod::subscript_list_2_0: // subscript_list_2 -> subscript
        return Eval::subscript_list_2_0(evaluator, node, step);
    case Prod::subscript_list_2_1: // subscript_list_2 -> subscript_list_2 ',' subscript
        return Eval::subscript_list_2_1(evaluator, node, step);
    case Prod::type_declaration_0: // type_declaration -> identifier ':' type_spec_init
        return Eval::type_declaration_0(evaluator, node, step);
    case Prod::type_spec_init_0: // type_spec_init -> spec
        return Eval::type_spec_init_0(evaluator, node, step);
    case Prod::type_spec_init_1: // type_spec_init -> spec ':=' type_spec_init_2
        return Eval::type_spec_init_1(evaluator, node, step);
    case Prod::type_spec_init_2_0: // type_spec_init_2 -> init
        return Eval::type_spec_init_2_0(evaluator, node, step);

    // Classes, methods, method calls, THIS and SUPER
    case Prod::classdecl_0: // classdecl -> CLASS classdecl_2 identifier using_list classdecl_3 classdecl_4 classdecl_6 classdecl_7 END_CLASS
        return Eval::classdecl_0(evaluator, node, step);
    case Prod::classdecl_2_0: // classdecl_2 -> (empty)
        return Eval::classdecl_2_0(evaluator, node, step);
    case Prod::classdecl_2_1: // classdecl_2 -> FINAL
        return Eval::classdecl_2_1(evaluator, node, step);
    case Prod::classdecl_2_2: // classdecl_2 -> ABSTRACT
        return Eval::classdecl_2_2(evaluator, node, step);
    case Prod::classdecl_3_0: // classdecl_3 -> (empty)
        return Eval::classdecl_3_0(evaluator, node, step);
    case Prod::classdecl_3_1: // classdecl_3 -> EXTENDS qidentifier
        return Eval::classdecl_3_1(evaluator, node, step);
    case Prod::classdecl_4_0: // classdecl_4 -> (empty)
        return Eval::classdecl_4_0(evaluator, node, step);
    case Prod::classdecl_4_1: // classdecl_4 -> IMPLEMENTS classdecl_5
        return Eval::classdecl_4_1(evaluator, node, step);
    case Prod::classdecl_5_0: // classdecl_5 -> qidentifier
        return Eval::classdecl_5_0(evaluator, node, step);
    case Prod::classdecl_5_1: // classdecl_5 -> classdecl_5 ',' qidentifier
        return Eval::classdecl_5_1(evaluator, node, step);
    case Prod::classdecl_6_0: // classdecl_6 -> (empty)
        return Eval::classdecl_6_0(evaluator, node, step);
    case Prod::classdecl_6_1: // classdecl_6 -> classdecl_6 classdecl_8
        return Eval::classdecl_6_1(evaluator, node, step);
    case Prod::classdecl_7_0: // classdecl_7 -> (empty)
        return Eval::classdecl_7_0(evaluator, node, step);
    case Prod::classdecl_7_1: // classdecl_7 -> classdecl_7 methoddecl
        return Eval::classdecl_7_1(evaluator, node, step);
    case Prod::classdecl_8_0: // classdecl_8 -> rd_block_var_external
        return Eval::classdecl_8_0(evaluator, node, step);
    case Prod::classdecl_8_1: // classdecl_8 -> rd_block_var
        return Eval::classdecl_8_1(evaluator, node, step);
    case Prod::expression_lhs_3: // expression_lhs -> method_call
        return Eval::expression_lhs_3(evaluator, node, step);
    case Prod::expression_primary_6: // expression_primary -> THIS
        return Eval::expression_primary_6(evaluator, node, step);
    case Prod::method_call_0: // method_call -> method_call_dynamic
        return Eval::method_call_0(evaluator, node, step);
    case Prod::method_call_1: // method_call -> method_call_static
        return Eval::method_call_1(evaluator, node, step);
    case Prod::method_call_dynamic_0: // method_call_dynamic -> expression_lhs '.' identifier '(' function_call_2 ')'
        return Eval::method_call_dynamic_0(evaluator, node, step);
    case Prod::method_call_static_0: // method_call_static -> SUPER '.' identifier '(' function_call_2 ')'
        return Eval::method_call_static_0(evaluator, node, step);
    case Prod::methoddecl_0: // methoddecl -> METHOD access_spec classdecl_2 methoddecl_2 identifier typereturn function_declaration_2 method_body END_METHOD
        return Eval::methoddecl_0(evaluator, node, step);
    case Prod::methoddecl_2_0: // methoddecl_2 -> (empty)
        return Eval::methoddecl_2_0(evaluator, node, step);
    case Prod::methoddecl_2_1: // methoddecl_2 -> OVERRIDE
        return Eval::methoddecl_2_1(evaluator, node, step);
    case Prod::nsname_0: // nsname -> identifier
        return Eval::nsname_0(evaluator, node, step);
    case Prod::nsname_1: // nsname -> nsname '.' identifier
        return Eval::nsname_1(evaluator, node, step);
    case Prod::qidentifier_0: // qidentifier -> identifier
        return Eval::qidentifier_0(evaluator, node, step);
    case Prod::qidentifier_1: // qidentifier -> qidentifier '.' identifier
        return Eval::qidentifier_1(evaluator, node, step);
    case Prod::using_0: // using -> USING using_1 ';'
        return Eval::using_0(evaluator, node, step);
    case Prod::using_1_0: // using_1 -> nsname
        return Eval::using_1_0(evaluator, node, step);
    case Prod::using_1_1: // using_1 -> using_1 ',' nsname
        return Eval::using_1_1(evaluator, node, step);
    case Prod::using_list_0: // using_list -> using_list_1
        return Eval::using_list_0(evaluator, node, step);
    case Prod::using_list_1_0: // using_list_1 -> (empty)
        return Eval::using_list_1_0(evaluator, node, step);
    case Prod::using_list_1_1: // using_list_1 -> using_list_1 using
        return Eval::using_list_1_1(evaluator, node, step);

    // Interfaces, assignment attempt and namespaces
    case Prod::dynassignment_statement_0: // dynassignment_statement -> expression_lhs '?=' expression
    case Prod::interfacedecl_0: // interfacedecl -> INTERFACE identifier using_list interfacedecl_2 interfacedecl_4 END_INTERFACE
    case Prod::interfacedecl_2_0: // interfacedecl_2 -> (empty)
    case Prod::interfacedecl_2_1: // interfacedecl_2 -> EXTENDS interfacedecl_3
    case Prod::interfacedecl_3_0: // interfacedecl_3 -> qidentifier
    case Prod::interfacedecl_3_1: // interfacedecl_3 -> interfacedecl_3 ',' qidentifier
    case Prod::interfacedecl_4_0: // interfacedecl_4 -> (empty)
    case Prod::interfacedecl_4_1: // interfacedecl_4 -> interfacedecl_4 methodproto
    case Prod::methodproto_0: // methodproto -> METHOD identifier typereturn methodproto_1 END_METHOD
    case Prod::methodproto_1_0: // methodproto_1 -> (empty)
    case Prod::methodproto_1_1: // methodproto_1 -> methodproto_1 methodproto_2
    case Prod::methodproto_2_0: // methodproto_2 -> rd_block_var_input
    case Prod::methodproto_2_1: // methodproto_2 -> rd_block_var_output
    case Prod::methodproto_2_2: // methodproto_2 -> rd_block_var_in_out
    case Prod::nsdecl_0: // nsdecl -> NAMESPACE nsdecl_2 nsname using_list nsdecl_3 END_NAMESPACE
    case Prod::nsdecl_2_0: // nsdecl_2 -> (empty)
    case Prod::nsdecl_2_1: // nsdecl_2 -> INTERNAL
    case Prod::nsdecl_3_0: // nsdecl_3 -> nsdecl_4
    case Prod::nsdecl_3_1: // nsdecl_3 -> nsdecl_3 nsdecl_4
    case Prod::nsdecl_4_0: // nsdecl_4 -> data_type_declaration
    case Prod::nsdecl_4_1: // nsdecl_4 -> function_declaration
    case Prod::nsdecl_4_2: // nsdecl_4 -> classdecl
    case Prod::nsdecl_4_3: // nsdecl_4 -> interfacedecl
    case Prod::nsdecl_4_4: // nsdecl_4 -> nsdecl
        return Eval::notImplemented(evaluator, node, step);

    // Forwarding productions make no node: their one child stands in their place.
    case Prod::bit_string_literal_2_0: // bit_string_literal_2 -> integer
    case Prod::bit_string_literal_2_1: // bit_string_literal_2 -> binary_integer
    case Prod::bit_string_literal_2_2: // bit_string_literal_2 -> octal_integer
    case Prod::bit_string_literal_2_3: // bit_string_literal_2 -> hex_integer
    case Prod::character_string_0: // character_string -> single_byte_character_string
    case Prod::character_string_5: // character_string -> double_byte_character_string
    case Prod::const_expression_0: // const_expression -> const_expression_xor
    case Prod::const_expression_add_0: // const_expression_add -> const_expression_mul
    case Prod::const_expression_and_0: // const_expression_and -> const_expression_cmp
    case Prod::const_expression_lhs_0: // const_expression_lhs -> const_expression_primary
    case Prod::const_expression_mul_0: // const_expression_mul -> const_expression_power
    case Prod::const_expression_power_0: // const_expression_power -> const_expression_unary
    case Prod::const_expression_primary_1: // const_expression_primary -> const_expression_primary_ident
    case Prod::const_expression_secondary_0: // const_expression_secondary -> const_expression_lhs
    case Prod::const_expression_unary_0: // const_expression_unary -> const_expression_secondary
    case Prod::const_expression_xor_0: // const_expression_xor -> const_expression_and
    case Prod::constant_0: // constant -> numeric_literal
    case Prod::constant_1: // constant -> character_string
    case Prod::constant_2: // constant -> time_literal
    case Prod::constant_3: // constant -> bit_string_literal
    case Prod::constant_4: // constant -> boolean_literal
    case Prod::expression_0: // expression -> expression_xor
    case Prod::expression_add_0: // expression_add -> expression_mul
    case Prod::expression_and_0: // expression_and -> expression_cmp
    case Prod::expression_cmp_0: // expression_cmp -> expression_equ
    case Prod::expression_equ_0: // expression_equ -> expression_add
    case Prod::expression_lhs_0: // expression_lhs -> expression_primary
    case Prod::expression_lhs_1: // expression_lhs -> expression_array
    case Prod::expression_lhs_2: // expression_lhs -> expression_member
    case Prod::expression_mul_0: // expression_mul -> expression_power
    case Prod::expression_power_0: // expression_power -> expression_unary
    case Prod::expression_primary_2: // expression_primary -> expression_primary_ident
    case Prod::expression_secondary_0: // expression_secondary -> expression_lhs
    case Prod::expression_unary_0: // expression_unary -> expression_secondary
    case Prod::expression_xor_0: // expression_xor -> expression_and
    case Prod::function_body_0: // function_body -> statement_list
    case Prod::gexpression_0: // gexpression -> gterm
    case Prod::gprimary_expression_0: // gprimary_expression -> gnumber
    case Prod::gstatement_1: // gstatement -> gstatement_2
    case Prod::gterm_0: // gterm -> gunary_expression
    case Prod::gunary_expression_0: // gunary_expression -> gprimary_expression
    case Prod::gvalue_0: // gvalue -> gnumber
    case Prod::gword_list_0: // gword_list -> gword
    case Prod::integer_literal_0: // integer_literal -> integer_literal_2
    case Prod::integer_literal_2_0: // integer_literal_2 -> integer
    case Prod::integer_literal_2_1: // integer_literal_2 -> binary_integer
    case Prod::integer_literal_2_2: // integer_literal_2 -> octal_integer
    case Prod::integer_literal_2_3: // integer_literal_2 -> hex_integer
    case Prod::integer_literal_3_0: // integer_literal_3 -> signed_integer
    case Prod::integer_literal_3_1: // integer_literal_3 -> binary_integer
    case Prod::integer_literal_3_2: // integer_literal_3 -> octal_integer
    case Prod::integer_literal_3_3: // integer_literal_3 -> hex_integer
    case Prod::method_body_0: // method_body -> statement_list
    case Prod::numeric_literal_0: // numeric_literal -> integer_literal
    case Prod::numeric_literal_1: // numeric_literal -> real_literal
    case Prod::real_literal_0: // real_literal -> real_literal_2
    case Prod::signed_integer_0: // signed_integer -> integer
    case Prod::statement_0: // statement -> ststatement
    case Prod::statement_1: // statement -> gstatement
    case Prod::statement_decl_list_0: // statement_decl_list -> statement_decl
    case Prod::statement_list_0: // statement_list -> statement
        return Eval::forwardingProduction(node);
    }
    Eval::unknownProduction(node);
}

} // namespace Karsto
