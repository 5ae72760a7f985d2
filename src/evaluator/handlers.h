#pragma once
// The actions of the productions, one function per production named after its Prod
// enumerator, declared by area; evaluator_dispatch.cpp calls them. Each area's actions
// live in their own source file.

#include <cstdint>

#include "evaluator/evaluator.h"

namespace Karsto::Eval {

// Program and statement lists (program_statements.cpp)
void gdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gdecl_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gprogram_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void root_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_decl_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void statement_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void ststatement_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// G-code blocks (gcode_blocks.cpp)
void gexpression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gexpression_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gnumber_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gnumber_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gprimary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gstatement_3_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gterm_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gterm_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gunary_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvalue_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gvariable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gword_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void gword_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Literals and the type names of typed literals (literals.cpp); operator expressions
// and parentheses (operator_expressions.cpp)
void binary_integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_literal_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_no_bool_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_no_bool_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_no_bool_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void bit_string_type_name_no_bool_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void boolean_literal_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void boolean_literal_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void boolean_literal_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void boolean_literal_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void boolean_literal_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void character_string_7(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void constant_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void double_byte_character_string_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_add_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_add_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_and_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_and_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_cmp_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_cmp_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_equ_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_equ_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_equ_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_equ_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_mul_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_mul_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_mul_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_power_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_secondary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_unary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_unary_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_unary_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_xor_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void hex_integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void integer_literal_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void integer_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void integer_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void octal_integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void real_literal_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void real_literal_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void real_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void real_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_type_name_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void signed_integer_type_name_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void single_byte_character_string_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void time_literal_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void time_literal_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void time_literal_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void time_literal_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void unsigned_integer_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void unsigned_integer_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void unsigned_integer_type_name_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void unsigned_integer_type_name_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Type names, variable declarations, names and assignment (type_names.cpp,
// variable_declarations.cpp, names_assignment.cpp)
void access_spec_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void access_spec_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void access_spec_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void access_spec_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void access_spec_opt_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void access_spec_opt_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void assignment_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_7(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_8(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void date_type_name_9(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void direct_variable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void direct_variable_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void direct_variable_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_7(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void elementary_type_name_8(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_ident_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_10(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_7(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_8(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void identifier_9(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void incompl_location_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void incompl_location_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void incompl_location_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void location_prefix_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void location_prefix_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void location_prefix_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void non_generic_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void non_generic_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void numeric_type_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void numeric_type_name_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_external_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_external_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_external_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_external_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_external_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_in_out_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_input_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_mod_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_mod_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_mod_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_mod_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_output_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_block_var_temp_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_decl_any_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_identifier_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_identifier_list_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void rd_identifier_list_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void size_prefix_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_init_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// IF and CASE (selection_statements.cpp); loops, EXIT and CONTINUE
// (iteration_statements.cpp)
void case_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_list_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_list_element_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_statement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void case_statement_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void continue_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void control_variable_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void exit_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void for_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void for_list_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void for_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void if_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void if_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void if_statement_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void if_statement_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void if_statement_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void iteration_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void iteration_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void iteration_statement_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void iteration_statement_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void iteration_statement_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void repeat_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void selection_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void selection_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subrange_integer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void while_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
// Constant expressions (constant_expressions.cpp) and scalar initial values
// (initialisers.cpp)
void const_expression_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_add_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_add_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_and_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_and_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_cmp_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_cmp_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_cmp_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_equ_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_equ_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_equ_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_equ_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_equ_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_mul_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_mul_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_mul_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_power_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_primary_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_primary_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_primary_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_primary_enumvalue_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_primary_ident_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_secondary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_unary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_unary_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_unary_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void const_expression_xor_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_init_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subrange_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Derived types (derived_types.cpp), array and structure initialisers
// (aggregate_initialisers.cpp), element and member access, REF, dereference and
// qualified enumeration values (element_access.cpp)
void data_type_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void data_type_declaration_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void data_type_declaration_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_member_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_deref_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_enumvalue_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_elements_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_elements_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_array_elements_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_struct_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_struct_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_struct_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void init_struct_element_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_7(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_8(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_array_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_array_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_array_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_enum_4_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_pointer_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_struct_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_struct_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_struct_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void spec_subrange_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void structure_element_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subscript_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subscript_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subscript_list_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subscript_list_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void type_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void type_spec_init_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void type_spec_init_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void type_spec_init_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// User functions, function calls, RETURN and calls as statements (functions.cpp)
void expression_primary_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_call_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_call_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_call_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_call_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_call_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_4(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_declaration_3_5(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void function_name_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void param_assignment_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void param_assignment_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void param_assignment_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subprogram_control_statement_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subprogram_control_statement_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void subprogram_control_statement_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void typereturn_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void typereturn_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Classes (classes.cpp); methods, THIS, method calls and SUPER (methods.cpp); dotted
// names and USING clauses (namespaces.cpp)
void classdecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_2_2(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_3_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_3_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_4_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_4_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_5_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_5_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_6_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_6_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_7_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_7_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_8_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void classdecl_8_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_lhs_3(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void expression_primary_6(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void method_call_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void method_call_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void method_call_dynamic_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void method_call_static_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void methoddecl_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void methoddecl_2_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void methoddecl_2_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void nsname_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void nsname_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void qidentifier_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void qidentifier_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_1_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_1_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_list_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_list_1_0(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
void using_list_1_1(Evaluator& evaluator, Parser::AstNode& node, int32_t step);

// Until its area is built, a production raises ExceptionSemantic "Not implemented yet:
// <nonterminal> (production <n>)", located at its node by the walk (not_implemented.cpp).
void notImplemented(Evaluator& evaluator, Parser::AstNode& node, int32_t step);
// A node of a forwarding production, or of no production at all, is a fault of the
// parser: std::logic_error.
[[noreturn]] void forwardingProduction(const Parser::AstNode& node);
[[noreturn]] void unknownProduction(const Parser::AstNode& node);

} // namespace Karsto::Eval
